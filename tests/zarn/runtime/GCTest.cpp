#include "zarn/runtime/GC.h"
#include "zarn/runtime/Environment.h"
#include "zarn/runtime/HeapMemory.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(GCTest, CollectsWhatNoRootReaches) {
    GC gc;
    Value kept(makeStringObject(gc, "kept"));
    gc.addRoot(&kept);
    makeStringObject(gc, "garbage");
    gc.allocate<ArrayObject>();
    EXPECT_EQ(gc.objectCount(), 3u);
    size_t before = gc.bytesAllocated();
    size_t reclaimed = gc.collect();
    EXPECT_EQ(gc.objectCount(), 1u);
    EXPECT_EQ(before - reclaimed, gc.bytesAllocated());
    EXPECT_EQ(kept.stringView(), "kept");
    gc.removeRoot(&kept);
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 0u);
    EXPECT_EQ(gc.bytesAllocated(), 0u);
}

TEST(GCTest, ThresholdFollowsLiveBytesWithAFloorAndLessHeadroomWhenLarge) {
    GC gc;
    EXPECT_EQ(gc.threshold(), GC::kInitialThreshold);
    makeStringObject(gc, std::string(5000, 'x'));
    EXPECT_EQ(gc.collect() > 5000, true);
    EXPECT_EQ(gc.threshold(), 1048576u);
    // Nothing live: an empty list still resets the threshold.
    EXPECT_EQ(gc.collect(), 0u);
    EXPECT_EQ(gc.threshold(), 1048576u);

    Value big(makeStringObject(gc, std::string(800000, 'y')));
    gc.addRoot(&big);
    gc.collect();
    EXPECT_EQ(gc.threshold(), 2 * gc.bytesAllocated());

    // A larger heap waits for 4 MiB more, and past 16 MiB for a quarter as much again.
    Value large(makeStringObject(gc, std::string(12 * 1048576, 'z')));
    gc.addRoot(&large);
    gc.collect();
    EXPECT_EQ(gc.threshold(), gc.bytesAllocated() + 4 * 1048576);
    Value larger(makeStringObject(gc, std::string(24 * 1048576, 'w')));
    gc.addRoot(&larger);
    gc.collect();
    EXPECT_EQ(gc.threshold(), gc.bytesAllocated() + gc.bytesAllocated() / 4);
    gc.removeRoot(&larger);
    gc.removeRoot(&large);
    gc.removeRoot(&big);
}

TEST(GCTest, AccountsSizesAsDocumented) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>(std::vector<Value>(3));
    EXPECT_EQ(array->size(), sizeof(ArrayObject) + 3 * sizeof(Value));
    auto* env = gc.allocate<Environment>(nullptr);
    EXPECT_EQ(env->size(), 296u);
    size_t expected = array->size() + env->size();
    EXPECT_EQ(gc.bytesAllocated(), expected);
}

TEST(GCTest, GrownObjectsNeverDriveTheCountBelowZero) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>();
    for (int i = 0; i < 1000; ++i) array->push(Value::fromInt(i));
    EXPECT_GT(array->size(), gc.bytesAllocated());
    gc.collect();
    EXPECT_EQ(gc.bytesAllocated(), 0u);
    EXPECT_EQ(gc.objectCount(), 0u);
}

TEST(GCTest, MarksVeryDeepStructuresWithoutRecursion) {
    GC gc;
    Value head(gc.allocate<ArrayObject>());
    gc.addRoot(&head);
    auto* tail = static_cast<ArrayObject*>(head.as.object);
    for (int i = 0; i < 200000; ++i) {
        auto* next = gc.allocate<ArrayObject>();
        tail->push(Value(next));
        tail = next;
    }
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 200001u);
    gc.removeRoot(&head);
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 0u);
}

TEST(GCTest, RootMarkerAndCapturedValuesKeepObjectsAlive) {
    GC gc;
    Value receiver;
    Value native;
    gc.setRootMarker([&](GC& collector) { collector.markValue(native); });
    receiver = Value(makeStringObject(gc, "receiver"));
    native = Value(
        gc.allocate<NativeFunctionObject>("bound", NativeCallable(), std::vector<Value>{receiver}));
    receiver = Value(); // only the captured copy refers to it now
    gc.collect();
    auto* function = static_cast<NativeFunctionObject*>(native.as.object);
    EXPECT_EQ(gc.objectCount(), 2u);
    EXPECT_EQ(function->captures[0].stringView(), "receiver");
}

TEST(GCTest, StressModeCollectsAtEveryAllocation) {
    GC gc(true);
    makeStringObject(gc, "a");
    makeStringObject(gc, "b"); // collects "a" first
    EXPECT_EQ(gc.objectCount(), 1u);
}

TEST(GCTest, InstancesKeepTheirSlotsAndExtraFieldsAlive) {
    GC gc(true); // every allocation below collects first
    InstanceLayout layout;
    layout.fieldNames = {7, 9, 11};
    Value root(
        gc.allocateSized<ClassInstanceObject>(ClassInstanceObject::bytesFor(layout), layout));
    gc.addRoot(&root);
    auto* instance = static_cast<ClassInstanceObject*>(root.as.object);
    EXPECT_EQ(instance->size(), sizeof(ClassInstanceObject) + 3 * sizeof(Value));
    EXPECT_EQ(gc.bytesAllocated(), instance->size());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(instance->slots()[i].kind, ValueKind::Null);

    instance->setField(9, Value(makeStringObject(gc, "slot")));
    instance->setField(20, Value(makeStringObject(gc, "extra")));
    instance->setField(11, Value(makeStringObject(gc, "last")));
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 4u);
    EXPECT_EQ(instance->findField(9)->stringView(), "slot");
    EXPECT_EQ(instance->findField(20)->stringView(), "extra");
    EXPECT_EQ(instance->slots()[2].stringView(), "last");
    EXPECT_EQ(instance->findField(8), nullptr);
    // The extra field is accounted once it exists.
    EXPECT_GT(instance->size(), sizeof(ClassInstanceObject) + 3 * sizeof(Value));

    std::vector<uint32_t> order;
    instance->forEachField([&](uint32_t name, const Value&) { order.push_back(name); });
    EXPECT_EQ(order, (std::vector<uint32_t>{7, 9, 11, 20}));
    gc.removeRoot(&root);
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 0u);
    EXPECT_EQ(gc.bytesAllocated(), 0u);
}

TEST(GCTest, EnvironmentsTraceParentsAndValues) {
    GC gc;
    Value root(gc.allocate<Environment>(nullptr));
    gc.addRoot(&root);
    auto* parent = gc.allocate<Environment>(nullptr);
    static_cast<Environment*>(root.as.object)->parent = parent;
    for (NameId s = 1; s <= 6; ++s) parent->define(s, Value(makeStringObject(gc, "v")));
    gc.collect();
    EXPECT_EQ(gc.objectCount(), 8u);
    EXPECT_EQ(parent->get(6).stringView(), "v");
    gc.removeRoot(&root);
}

} // namespace
} // namespace zarn

namespace zarn {
namespace {

TEST(GCTest, ThresholdFollowsObjectsThatGrewAfterAllocation) {
    GC gc;
    Value root(gc.allocate<ArrayObject>());
    gc.addRoot(&root);
    auto* array = static_cast<ArrayObject*>(root.as.object);
    // About 3.2 MB, accounted at its empty size when made.
    for (int i = 0; i < 200000; ++i) array->push(Value());
    gc.allocate<ArrayObject>(std::vector<Value>(10)); // garbage that was counted larger
    gc.collect();
    // After a collection the survivors count at the size they have now, so
    // the garbage allowed before the next one is not inflated by the growth.
    EXPECT_EQ(gc.bytesAllocated(), array->size());
    EXPECT_EQ(gc.threshold(), array->size() + std::min(array->size(), GC::kFullHeadroomUpTo));
    gc.removeRoot(&root);
}

// Strings keep their text in the same block as the object, so the block's
// size decides where the next object may go: texts of every length around the
// storage class limits must survive collections and reuse of freed cells.
TEST(GCTest, InlineTextsOfEverySizeStayIntact) {
    GC gc;
    Value kept(gc.allocate<ArrayObject>());
    gc.addRoot(&kept);
    auto* array = static_cast<ArrayObject*>(kept.as.object);
    auto textFor = [](size_t length) {
        return std::string(length, static_cast<char>('a' + length % 26));
    };
    for (size_t length = 0; length <= 300; ++length) {
        array->push(Value(makeStringObject(gc, textFor(length))));
        makeStringObject(gc, textFor(length + 1)); // garbage between the kept ones
    }
    gc.collect();
    for (size_t length = 0; length <= 300; ++length) makeStringObject(gc, std::string(length, '#'));
    std::string huge(1 << 20, 'h');
    huge.back() = 'z';
    Value big(makeStringObject(gc, huge));
    array->push(big);
    gc.collect();
    for (size_t length = 0; length <= 300; ++length) {
        const auto* text = static_cast<const StringObject*>(array->get(length).as.object);
        EXPECT_EQ(text->view(), textFor(length));
        EXPECT_EQ(text->size(), sizeof(StringObject) + length);
    }
    EXPECT_EQ(array->get(array->length() - 1).stringView(), huge);
    EXPECT_EQ(gc.objectCount(), 303u);
    gc.removeRoot(&kept);
}

// A heap past its first small chunks grows by large blocks: objects in them
// (and spilling from one block into the next) keep their contents across
// collections, and freed cells are used again before the heap grows.
TEST(GCTest, AHeapGrowingPastItsSmallChunksKeepsEveryObject) {
    GC gc;
    Value kept(gc.allocate<ArrayObject>());
    gc.addRoot(&kept);
    auto* array = static_cast<ArrayObject*>(kept.as.object);
    const size_t count = 200000; // about 13 MB of cells, several blocks
    for (size_t i = 0; i < count; ++i) {
        array->push(Value(makeStringObject(gc, "kept " + std::to_string(i) + " of the heap")));
        if (i % 4 == 0) makeStringObject(gc, "garbage " + std::to_string(i));
        if (i % 50000 == 0) gc.collect();
    }
    gc.collect();
    const size_t grown = gc.bytesAllocated();
    for (size_t i = 0; i < count / 4; ++i)
        makeStringObject(gc, "more garbage " + std::to_string(i));
    gc.collect();
    EXPECT_EQ(gc.bytesAllocated(), grown);
    for (size_t i = 0; i < count; i += 997)
        EXPECT_EQ(array->get(i).stringView(), "kept " + std::to_string(i) + " of the heap");
    EXPECT_EQ(gc.objectCount(), count + 1);
    gc.removeRoot(&kept);
}

TEST(GCTest, HeapBlocksAreAlignedZeroedAndWhollyUsable) {
    void* first = allocateHeapBlock();
    void* second = allocateHeapBlock();
    for (void* block : {first, second}) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % kHeapBlockBytes, 0u);
        auto* bytes = static_cast<unsigned char*>(block);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[kHeapBlockBytes - 1], 0);
        bytes[0] = 1;
        bytes[kHeapBlockBytes - 1] = 2;
    }
    EXPECT_NE(first, second);
    releaseHeapBlock(first);
    releaseHeapBlock(second);
}

// A string's length is kept in 32 bits: a longer one is refused before any
// of its text is written.
TEST(GCTest, StringsLongerThanTheirLengthFieldAreRefused) {
    alignas(StringObject) unsigned char storage[sizeof(StringObject)];
    EXPECT_THROW(new (storage) StringObject(size_t{UINT32_MAX} + 1), std::bad_alloc);
    auto* longest = new (storage) StringObject(UINT32_MAX);
    EXPECT_EQ(longest->length, UINT32_MAX);
    longest->~StringObject();
}

} // namespace
} // namespace zarn
