#include "zarn/runtime/GC.h"
#include "zarn/runtime/Object.h"

#include <gtest/gtest.h>

#include <vector>

namespace zarn {
namespace {

using Storage = ArrayObject::Storage;

TEST(ArrayTest, StorageFollowsTheElementsHeld) {
    GC gc;
    auto* bits =
        gc.allocate<ArrayObject>(std::vector<Value>{Value::fromBool(true), Value::fromBool(false)});
    EXPECT_EQ(bits->storage(), Storage::Bool);
    auto* ints = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(-5)});
    EXPECT_EQ(ints->storage(), Storage::Int);
    auto* reals = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromFloat(0.5)});
    EXPECT_EQ(reals->storage(), Storage::Float);
    // Int and Float stay distinct kinds: a mix is stored as Values.
    auto* mixed =
        gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(1), Value::fromFloat(1.0)});
    EXPECT_EQ(mixed->storage(), Storage::Values);
    EXPECT_TRUE(mixed->get(0).isInt());
    EXPECT_TRUE(mixed->get(1).isFloat());
}

TEST(ArrayTest, AnElementThatDoesNotFitConvertsOnceKeepingTheOthers) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>();
    for (int i = 0; i < 100; ++i) array->push(Value::fromBool(i % 3 == 0));
    EXPECT_EQ(array->storage(), Storage::Bool);
    array->set(50, Value::fromInt(7)); // a write that does not fit
    EXPECT_EQ(array->storage(), Storage::Values);
    ASSERT_EQ(array->length(), 100u);
    for (int i = 0; i < 100; ++i) {
        Value element = array->get(i);
        if (i == 50) {
            EXPECT_EQ(element.toInt(), 7);
        } else {
            ASSERT_TRUE(element.isBool());
            EXPECT_EQ(element.as.boolean, i % 3 == 0);
        }
    }
    // A push that does not fit converts too, and null is an element like any other.
    auto* ints = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(1)});
    ints->push(Value());
    EXPECT_EQ(ints->storage(), Storage::Values);
    EXPECT_EQ(ints->get(0).toInt(), 1);
    EXPECT_TRUE(ints->get(1).isNull());
}

TEST(ArrayTest, AnEmptiedArrayChoosesItsStorageAgain) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>(std::vector<Value>{Value(), Value()});
    EXPECT_EQ(array->pop().kind, ValueKind::Null);
    array->pop();
    EXPECT_TRUE(array->pop().isNull()); // nothing left: Null
    array->push(Value::fromFloat(2.5));
    EXPECT_EQ(array->storage(), Storage::Float);
    array->clear();
    array->push(Value::fromInt(3));
    EXPECT_EQ(array->storage(), Storage::Int);
    EXPECT_EQ(array->get(0).toInt(), 3);
}

TEST(ArrayTest, SizeCountsTheStorageHeld) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>();
    for (int i = 0; i < 1000; ++i) array->push(Value::fromBool(true));
    const size_t asBytes = array->size();
    EXPECT_GE(asBytes, sizeof(ArrayObject) + 1000);
    EXPECT_LT(asBytes, sizeof(ArrayObject) + 1000 * sizeof(Value));
    array->set(0, Value());
    EXPECT_GE(array->size(), sizeof(ArrayObject) + 1000 * sizeof(Value));
}

TEST(ArrayTest, ObjectsStoredAfterConversionAreTraced) {
    GC gc;
    Value root(gc.allocate<ArrayObject>());
    gc.addRoot(&root);
    auto* array = static_cast<ArrayObject*>(root.as.object);
    for (int i = 0; i < 10; ++i) array->push(Value::fromInt(i));
    array->set(3, Value(makeStringObject(gc, "three")));
    array->push(Value(makeStringObject(gc, "ten")));
    makeStringObject(gc, "garbage");
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 3u);
    EXPECT_EQ(array->get(3).stringView(), "three");
    EXPECT_EQ(array->get(10).stringView(), "ten");
    // Popped elements are no longer reached through the array.
    array->pop();
    array->set(3, Value::fromInt(3));
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 1u);
    gc.removeRoot(&root);
}

} // namespace
} // namespace zarn
