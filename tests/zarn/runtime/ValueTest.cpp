#include "zarn/runtime/Value.h"
#include "zarn/runtime/Environment.h"
#include "zarn/runtime/GC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zarn {
namespace {

TEST(ValueTest, StaysSixteenBytesAndDefaultsToNull) {
    EXPECT_EQ(sizeof(Value), 16u);
    Value v;
    EXPECT_TRUE(v.isNull());
    EXPECT_EQ(v.as.integer, 0);
    EXPECT_TRUE(Value(static_cast<GcObject*>(nullptr)).isNull());
}

TEST(ValueTest, FloatTextForms) {
    EXPECT_EQ(toString(Value::fromFloat(1.0)), "1.0");
    EXPECT_EQ(toString(Value::fromFloat(2.5)), "2.5");
    EXPECT_EQ(toString(Value::fromFloat(100000.0)), "100000.0");
    EXPECT_EQ(toString(Value::fromFloat(1234567.0)), "1.23457e+06");
    EXPECT_EQ(toString(Value::fromFloat(1e20)), "1e+20.0");
    EXPECT_EQ(toString(Value::fromFloat(0.1 + 0.2)), "0.3");
    EXPECT_EQ(toString(Value::fromFloat(std::numeric_limits<double>::infinity())), "inf.0");
    EXPECT_EQ(toString(Value::fromFloat(-std::numeric_limits<double>::infinity())), "-inf.0");
    EXPECT_EQ(toString(Value::fromFloat(-0.5)), "-0.5");
}

TEST(ValueTest, IntTextCoversTheWholeRange) {
    EXPECT_EQ(toString(Value::fromInt(0)), "0");
    EXPECT_EQ(toString(Value::fromInt(-42)), "-42");
    EXPECT_EQ(toString(Value::fromInt(std::numeric_limits<int64_t>::min())),
              "-9223372036854775808");
    EXPECT_EQ(toString(Value::fromInt(std::numeric_limits<int64_t>::max())), "9223372036854775807");
}

TEST(ValueTest, ScalarTextForms) {
    EXPECT_EQ(toString(Value()), "null");
    EXPECT_EQ(toString(Value::fromBool(true)), "true");
    EXPECT_EQ(toString(Value::fromBool(false)), "false");
}

TEST(ValueTest, ArrayTextQuotesStringsAndNests) {
    GC gc;
    auto* inner = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromBool(true), Value()});
    auto* a = makeStringObject(gc, "a");
    auto* outer =
        gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(1), Value(a), Value(inner)});
    EXPECT_EQ(toString(Value(outer)), "[1, \"a\", [true, null]]");
    EXPECT_EQ(toString(Value(gc.allocate<ArrayObject>())), "[]");
    // A string on its own is written without quotes.
    EXPECT_EQ(toString(Value(a)), "a");
}

TEST(ValueTest, ArrayInsideItselfPrintsWithoutRecursing) {
    GC gc;
    auto* array = gc.allocate<ArrayObject>();
    array->push(Value::fromInt(1));
    array->push(Value(array));
    EXPECT_EQ(toString(Value(array)), "[1, [...]]");
}

TEST(ValueTest, Equality) {
    GC gc;
    EXPECT_TRUE(valuesEqual(Value::fromInt(1), Value::fromFloat(1.0)));
    EXPECT_TRUE(valuesEqual(Value::fromFloat(1.0), Value::fromInt(1)));
    EXPECT_FALSE(valuesEqual(Value(makeStringObject(gc, "1")), Value::fromInt(1)));
    EXPECT_FALSE(valuesEqual(Value(), Value::fromBool(false)));
    EXPECT_TRUE(valuesEqual(Value(), Value()));
    double nan = std::nan("");
    EXPECT_FALSE(valuesEqual(Value::fromFloat(nan), Value::fromFloat(nan)));
    EXPECT_TRUE(valuesEqual(Value(makeStringObject(gc, "ab")), Value(makeStringObject(gc, "ab"))));
    auto* a = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(1)});
    auto* b = gc.allocate<ArrayObject>(std::vector<Value>{Value::fromInt(1)});
    EXPECT_FALSE(valuesEqual(Value(a), Value(b)));
    EXPECT_TRUE(valuesEqual(Value(a), Value(a)));
}

TEST(ValueTest, Truthiness) {
    GC gc;
    EXPECT_FALSE(isTruthy(Value()));
    EXPECT_FALSE(isTruthy(Value::fromBool(false)));
    EXPECT_FALSE(isTruthy(Value::fromInt(0)));
    EXPECT_FALSE(isTruthy(Value::fromFloat(0.0)));
    EXPECT_FALSE(isTruthy(Value(makeStringObject(gc, ""))));
    EXPECT_TRUE(isTruthy(Value(gc.allocate<ArrayObject>())));
    EXPECT_TRUE(isTruthy(Value::fromInt(-1)));
    EXPECT_TRUE(isTruthy(Value(makeStringObject(gc, "x"))));
}

TEST(ValueTest, NonStringsReadAsEmptyText) {
    EXPECT_EQ(Value::fromInt(5).stringView(), "");
    Value broken;
    broken.kind = ValueKind::String;
    broken.as.object = nullptr;
    EXPECT_EQ(broken.stringView(), "");
}

TEST(EnvironmentTest, MovesToMapModeWhenTheInlineSlotsAreFullAndKeepsEveryValue) {
    GC gc;
    auto* env = gc.allocate<Environment>(nullptr);
    constexpr NameId full = Environment::kInlineSlots;
    for (NameId s = 1; s <= full; ++s) env->define(s, Value::fromInt(s * 10));
    EXPECT_EQ(env->count, full);
    env->define(2, Value::fromInt(99)); // replacing does not add a name
    EXPECT_EQ(env->count, full);
    env->define(full + 1, Value::fromInt((full + 1) * 10));
    EXPECT_EQ(env->count, Environment::kMapMode);
    for (NameId s = 1; s <= 40; ++s)
        if (s > full + 1) env->define(s, Value::fromInt(s * 10));
    EXPECT_EQ(env->get(2).as.integer, 99);
    for (NameId s = 3; s <= 40; ++s) EXPECT_EQ(env->get(s).as.integer, s * 10) << s;
    EXPECT_TRUE(env->assign(7, Value::fromInt(-7)));
    EXPECT_EQ(env->get(7).as.integer, -7);
    EXPECT_FALSE(env->assign(1000, Value::fromInt(1)));
    EXPECT_TRUE(env->get(1000).isNull());
}

// Names whose ids share a bit of the scope's filter (id modulo 64) must still
// replace their own entry and never another's, inline and in map mode, and a
// recycled scope must forget them all.
TEST(EnvironmentTest, RedefiningReplacesOnlyTheSameNameWhenFilterBitsCollide) {
    GC gc;
    auto* env = gc.allocate<Environment>(nullptr);
    constexpr NameId last = Environment::kInlineSlots - 1;
    for (int round = 0; round < 2; ++round) {
        for (NameId s = 1; s <= last; ++s) env->define(s, Value::fromInt(s));
        env->define(65, Value::fromInt(65)); // shares its bit with 1
        env->define(65, Value::fromInt(-65));
        EXPECT_EQ(env->count, Environment::kInlineSlots);
        EXPECT_EQ(env->get(1).as.integer, 1);
        env->define(129, Value::fromInt(129)); // a third name on that bit, into map mode
        env->define(1, Value::fromInt(-1));
        env->define(200, Value::fromInt(200));
        EXPECT_EQ(env->count, Environment::kMapMode);
        ASSERT_NE(env->nameMap(), nullptr);
        EXPECT_EQ(env->nameMap()->size(), last + 3u); // one entry per distinct name
        EXPECT_EQ(env->get(1).as.integer, -1);
        EXPECT_EQ(env->get(65).as.integer, -65);
        EXPECT_EQ(env->get(129).as.integer, 129);
        EXPECT_EQ(env->get(200).as.integer, 200);
        EXPECT_TRUE(env->get(257).isNull()); // its bit is set, the name is not here
        env->reset(nullptr);
        EXPECT_TRUE(env->get(1).isNull());
    }
}

TEST(EnvironmentTest, LooksUpThroughParentsAndShadows) {
    GC gc;
    auto* outer = gc.allocate<Environment>(nullptr);
    auto* inner = gc.allocate<Environment>(outer);
    outer->define(1, Value::fromInt(1));
    inner->define(1, Value::fromInt(2));
    EXPECT_EQ(inner->get(1).as.integer, 2);
    EXPECT_EQ(outer->get(1).as.integer, 1);
    outer->define(3, Value::fromInt(3));
    EXPECT_TRUE(inner->contains(3));
    inner->assign(3, Value::fromInt(4));
    EXPECT_EQ(outer->get(3).as.integer, 4);
    inner->reset(nullptr);
    EXPECT_FALSE(inner->contains(3));
}

} // namespace
} // namespace zarn

namespace zarn {
namespace {

TEST(EnvironmentTest, RecycledLargeScopesFindEveryName) {
    GC gc;
    auto* env = gc.allocate<Environment>(nullptr);
    for (int round = 0; round < 3; ++round) {
        for (NameId s = 1; s <= 30; ++s) env->define(s, Value::fromInt(s + round));
        for (NameId s = 1; s <= 30; ++s) ASSERT_EQ(env->get(s).as.integer, s + round) << round;
        env->reset(nullptr);
        EXPECT_FALSE(env->contains(1));
    }
}

} // namespace
} // namespace zarn

namespace zarn {
namespace {

TEST(EnvironmentTest, NamesDefinedTwiceWhileSettingUpReadAsTheLaterValue) {
    GC gc;
    for (int names : {3, 7, 8, 20}) {
        auto* env = gc.allocate<Environment>(nullptr);
        if (names > Environment::kInlineSlots) env->useMap();
        for (NameId s = 1; s <= static_cast<NameId>(names); ++s)
            env->defineFresh(s, Value::fromInt(s));
        env->defineFresh(1, Value::fromInt(100)); // like a parameter named as a field
        EXPECT_EQ(env->get(1).as.integer, 100) << names;
        EXPECT_TRUE(env->assign(1, Value::fromInt(7)));
        EXPECT_EQ(env->get(1).as.integer, 7) << names;
        for (NameId s = 2; s <= static_cast<NameId>(names); ++s)
            EXPECT_EQ(env->get(s).as.integer, s);
        env->define(1000, Value::fromInt(1));
        EXPECT_EQ(env->get(1).as.integer, 7) << names;
    }
}

} // namespace
} // namespace zarn

namespace zarn {
namespace {

// A frame's places stay where they are and hold their values while names
// are defined beside them (inline, then into map mode), for small frames and
// for frames larger than the inline entries; the collector traces them; and
// a recycled scope is no frame any more.
TEST(EnvironmentTest, FramePlacesStayPutBesideNamesAndAreTraced) {
    for (uint8_t places : {uint8_t{1}, uint8_t{5}, uint8_t{8}, uint8_t{30}}) {
        GC gc;
        auto* env = gc.allocate<Environment>(nullptr);
        Value root(env);
        gc.addRoot(&root);
        env->openFrame(places);
        for (uint32_t p = 0; p < places; ++p) {
            EXPECT_TRUE(env->frameValue(p).isNull());
            env->frameValue(p) = Value(makeStringObject(gc, "place " + std::to_string(p)));
        }
        for (NameId s = 1; s <= 20; ++s) env->define(s, Value::fromInt(s));
        gc.collect();
        for (uint32_t p = 0; p < places; ++p)
            EXPECT_EQ(env->frameValue(p).stringView(), "place " + std::to_string(p)) << +places;
        for (NameId s = 1; s <= 20; ++s) EXPECT_EQ(env->get(s).as.integer, s) << +places;
        env->reset(nullptr);
        EXPECT_EQ(env->frameSlots, 0);
        gc.collect();
        EXPECT_EQ(gc.objectCount(), 1u) << +places; // the places' strings went
        gc.removeRoot(&root);
    }
}

// Published locals are seen from scopes below the frame, and from the frame
// itself only while published "here"; a name defined then replaces the local.
TEST(EnvironmentTest, PublishedLocalsAreSeenFromBelowAndReplacedWhenDefinedHere) {
    GC gc;
    auto* frame = gc.allocate<Environment>(nullptr);
    auto* below = gc.allocate<Environment>(frame);
    frame->openFrame(2);
    frame->frameValue(0) = Value::fromInt(10);
    frame->frameValue(1) = Value::fromInt(20);
    const FrameBindings visible{{5, 1}};
    EXPECT_TRUE(below->get(5).isNull());
    frame->publish(&visible, false);
    EXPECT_EQ(below->get(5).as.integer, 20);
    EXPECT_TRUE(frame->get(5).isNull()); // the frame's own code reads by place
    frame->publish(&visible, true);
    EXPECT_EQ(frame->get(5).as.integer, 20);
    EXPECT_TRUE(below->assign(5, Value::fromInt(21)));
    EXPECT_EQ(frame->frameValue(1).as.integer, 21);
    frame->define(5, Value::fromInt(22)); // a script's declaration of the name
    EXPECT_EQ(frame->frameValue(1).as.integer, 22);
    frame->define(6, Value::fromInt(6)); // any other name is defined as usual
    EXPECT_EQ(frame->get(6).as.integer, 6);
    EXPECT_EQ(frame->frameValue(0).as.integer, 10);
    frame->reset(nullptr);
    below->reset(frame);
    EXPECT_TRUE(below->get(5).isNull());
}

} // namespace
} // namespace zarn
