// What the school's types keep for it: index spaces that do not mix, a failed add_class
// that leaves no trace in the next generation, and covers that every reader of the
// teacher list sees counted.
#include <doctest/doctest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "interruption.hpp"
#include "school/class_record.hpp"
#include "school/school.hpp"
#include "school_building.hpp"
#include "teacher/teacher.hpp"
#include "teacher/teacher_indices.hpp"

using namespace lessoncover;

namespace {

template <class A, class B>
concept Comparable = requires(A a, B b) { a == b; };

// Each index space refuses the others, and plain integers, unless made explicitly.
template <class A, class B>
constexpr bool kept_apart = !std::is_convertible_v<A, B> && !std::is_constructible_v<B, A> && !Comparable<A, B>;

static_assert(kept_apart<TeacherSlot, ListPlace> && kept_apart<ListPlace, TeacherSlot>);
static_assert(kept_apart<TeacherSlot, NameEntryId> && kept_apart<NameEntryId, TeacherSlot>);
static_assert(kept_apart<ListPlace, NameEntryId> && kept_apart<OwnHandleId, TeacherSlot>);
static_assert(kept_apart<TeacherStore::ClassNameId, TeacherSlot>);
static_assert(!std::is_convertible_v<std::uint32_t, TeacherSlot> && !std::is_convertible_v<TeacherSlot, std::uint32_t>);
static_assert(!Comparable<TeacherSlot, std::uint32_t>);
static_assert(std::is_constructible_v<TeacherSlot, std::uint32_t>);  // explicitly
// A slot where the list wants one, and nothing else.
static_assert(std::is_invocable_v<decltype(&TeacherList::count), const TeacherList&, TeacherSlot>);
static_assert(!std::is_invocable_v<decltype(&TeacherList::count), const TeacherList&, ListPlace>);
static_assert(!std::is_invocable_v<decltype(&TeacherList::count), const TeacherList&, std::uint32_t>);
static_assert(!std::is_invocable_v<decltype(&GenerationSpace::slot_of), const GenerationSpace&, TeacherSlot>);
// As cheap as the integer they hold: the hot loops copy them in registers.
static_assert(sizeof(TeacherSlot) == sizeof(std::uint32_t) && std::is_trivially_copyable_v<TeacherSlot>);
static_assert(std::is_trivially_default_constructible_v<ListPlace>);

// Says stop at the first question.
class StopAtOnce final : public Interruption {
public:
    bool requested() override { return true; }
};

}  // namespace

// Printing shows the classes kept, not their absent lessons, texts and class names: the
// reports tell whether those were taken back too.
TEST_CASE("a class whose adding was stopped leaves no trace in the next generation") {
    School school, twin;
    Class early{"Early"}, hall{"Hall"}, twin_early{"Early"}, twin_hall{"Hall"};
    // Far more entries than add_class counts before its first question.
    build_school(school, hall, 200, 30);
    build_school(twin, twin_hall, 200, 30);
    Teacher absent("Absent", Subjects::Maths, false);
    school.add_teacher(absent);
    twin.add_teacher(absent);
    (void)school.register_period(absent, 40, early);
    (void)twin.register_period(absent, 40, twin_early);
    school.add_class(early);
    twin.add_class(twin_early);

    StopAtOnce stop;
    const auto stopped = school.add_class(hall, stop);
    REQUIRE_FALSE(stopped.ok());
    CHECK(stopped.error().kind == ErrorKind::interrupted);
    CHECK(school.printed_text() == twin.printed_text());
    CHECK(without_timing(school.generate_substitutions().value()) ==
          without_timing(twin.generate_substitutions().value()));

    school.add_class(hall);
    twin.add_class(twin_hall);
    const std::string report = without_timing(school.generate_substitutions().value());
    CHECK(report == without_timing(twin.generate_substitutions().value()));
    CHECK(report.find("Hall") != std::string::npos);
    CHECK(school.printed_text() == twin.printed_text());
}

// The covers of a generation are queued, and the list hears of them lazily; whoever reads
// it through the school sees them without asking for them.
TEST_CASE("the teacher list, read after a generation, counts its covers") {
    School school;
    Class hall{"Hall"};
    const Teacher absent = add_asha_and_ben(school);
    (void)school.register_period(absent, 3, hall);
    (void)school.register_period(absent, 5, hall);
    school.add_class(hall);
    const TeacherSlot ben{1};
    CHECK(school.teacher_list().count(ben) == 0);
    CHECK(school.teacher_list().busy(ben) == 0);
    const std::uint64_t asha_busy = school.teacher_list().busy(TeacherSlot{0});
    REQUIRE(school.generate_substitutions().ok());
    CHECK(school.teacher_list().count(ben) == 2);
    CHECK(school.teacher_list().busy(ben) == asha_busy);  // periods 3 and 5, coded as for Asha
    CHECK(school.teacher_list().count(TeacherSlot{0}) == 2);
    // Noted once: reading again, or generating with nothing left to cover, adds nothing.
    CHECK(school.teacher_list().count(ben) == 2);
    const std::string second = school.generate_substitutions().value();
    CHECK(school.teacher_list().count(ben) == 2);
    CHECK(second.find("Ben") == std::string::npos);  // busy in both periods now
}
