// The school's store of teachers against plain vectors: the texts it keeps stay good as
// blocks fill, and queued pairs reach the records in the order they came.
#include <doctest/doctest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "school/teacher_store.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

struct PlainTeacher {
    std::string name;
    std::string reason;
    Subjects sub;
    bool present;
    std::vector<std::pair<int, std::string>> pairs;  // in the order given
    std::set<std::pair<int, std::string>> distinct;
};

std::string random_text(std::mt19937_64& random) {
    switch (random() % 8) {
    case 0: return "";
    case 1: return std::string(70'000 + random() % 1000, 'x');  // more than a block
    case 2: return std::string(kDefaultAbsenceReason);
    default: {
        std::string text = "T";  // appended, not "T" + ...: GCC 12 warns falsely of that at -O3
        text += std::to_string(random() % 100000);
        text.append(random() % 40, '\xc3');
        return text;
    }
    }
}

void check_store(TeacherStore& store, const std::vector<PlainTeacher>& plain,
                 const std::vector<TeacherStore::Texts>& kept) {
    REQUIRE(store.size() == plain.size());
    store.ready_records();
    REQUIRE(store.made_records() == plain.size());
    for (std::size_t slot = 0; slot < plain.size(); ++slot) {
        CAPTURE(slot);
        const auto at = static_cast<TeacherStore::Slot>(slot);
        CHECK(store.name(at) == plain[slot].name);
        CHECK(store.reason(at) == plain[slot].reason);
        CHECK(kept[slot].name == plain[slot].name);  // the views given at append still good
        CHECK(kept[slot].reason == plain[slot].reason);
        CHECK(store.sub(at) == plain[slot].sub);
        CHECK(store.present(at) == plain[slot].present);
        const auto record = store.handle(at).lock();
        CHECK(record->name == plain[slot].name);
        CHECK(record->reason_of_absentee == plain[slot].reason);
        std::vector<std::pair<int, std::string>> pairs;
        for (const PeriodGrade& pair : record->periods) pairs.emplace_back(pair.period, pair.grade);
        CHECK(pairs == plain[slot].pairs);
    }
}

}  // namespace

TEST_CASE("an empty store has nothing to make") {
    TeacherStore store;
    store.ready_records();
    CHECK(store.size() == 0);
    CHECK(store.made_records() == 0);
}

TEST_CASE("every store has its own id") {
    const TeacherStore first, second;
    CHECK(first.id() != second.id());
}

TEST_CASE("a class name is a new grade unless it was the last one made") {
    TeacherStore store;
    const auto a = store.class_name_id("9A");
    CHECK(store.class_name_id("9A") == a);
    const auto b = store.class_name_id("9B");
    CHECK(b != a);
    CHECK(store.class_name_id("9A") != a);  // only the last is reused
    CHECK(store.class_names_made() == 3);
    store.forget_class_names_from(1);
    CHECK(store.class_names_made() == 1);
}

// Teachers appended, some bringing pairs; pairs queued under grades that change now and
// then; the records made and the queue written out at random moments.
TEST_CASE("random teachers and queued pairs agree with plain vectors") {
    for (std::uint64_t seed = 51; seed < 54; ++seed) {
        CAPTURE(seed);
        std::mt19937_64 random(seed);
        TeacherStore store;
        std::vector<PlainTeacher> plain;
        std::vector<TeacherStore::Texts> kept;
        const std::string classes[] = {"9A", "9B", "10A", ""};
        for (int step = 0; step < 3000; ++step) {
            CAPTURE(step);
            const auto choice = random() % 8;
            if (plain.empty() || choice == 0) {
                Teacher teacher(random_text(random), static_cast<Subjects>(random() % kSubjectCount),
                                random() % 2 == 0);
                teacher.reason_of_absentee = random_text(random);
                PlainTeacher expected{teacher.name, teacher.reason_of_absentee, teacher.sub, teacher.present, {}, {}};
                for (std::size_t brought = random() % 3 == 0 ? random() % 4 : 0; brought > 0; --brought) {
                    const int period = static_cast<int>(random() % 10);
                    const std::string& grade = classes[random() % 4];
                    if (teacher.add_period(static_cast<std::int16_t>(period), grade)) {
                        expected.pairs.emplace_back(period, grade);
                        expected.distinct.emplace(period, grade);
                    }
                }
                store.make_room_for_teacher(teacher);
                std::optional<PeriodSet> pairs;
                if (!teacher.periods.empty()) pairs = teacher.periods;
                kept.push_back(store.append(teacher, std::move(pairs)));
                plain.push_back(std::move(expected));
            } else if (choice == 1) {
                store.ready_records();
            } else {
                const std::size_t slot = random() % plain.size();
                const int period = static_cast<int>(random() % 12) - 1;
                const std::string& grade = classes[random() % 4];
                if (!plain[slot].distinct.emplace(period, grade).second) continue;  // queued pairs are new
                plain[slot].pairs.emplace_back(period, grade);
                const auto kept_grade = store.class_name_id(grade);
                store.make_room_for_pairs(1);
                store.queue(static_cast<TeacherStore::Slot>(slot), static_cast<std::int16_t>(period), kept_grade);
            }
        }
        check_store(store, plain, kept);
    }
}
