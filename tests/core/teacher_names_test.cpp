// The school's teacher hashtable against a std::map: what each name is filed under, as
// names are filed, looked up and refiled at random, with real hash codes and with codes
// made to collide.
#include <doctest/doctest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "school/school.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

// What a name is filed under: its entry's place, and a list slot or a handle (known by
// the name of the handle's record, each handle's own).
struct Filed {
    TeacherNames::EntryId entry;
    TeacherList::Slot slot;
    std::string handle;
};

// The entry filed `filed`-th.
TeacherNames::EntryId entry_at(std::size_t filed) { return TeacherNames::EntryId{static_cast<std::uint32_t>(filed)}; }

using HashOf = std::function<std::uint64_t(const TeacherNames&, const std::string&)>;

std::string handle_name(const TeacherRef& handle) { return handle.lock()->name; }

void check_filed(const TeacherNames& names, const std::map<std::string, Filed>& plain, const std::string& name,
                 const HashOf& hash_of) {
    CAPTURE(name);
    const TeacherNames::EntryId place = names.find(name, hash_of(names, name));
    const auto expected = plain.find(name);
    if (expected == plain.end()) {
        CHECK(place == TeacherNames::kNotFound);
        return;
    }
    REQUIRE(place == expected->second.entry);
    CHECK(names.slot(place) == expected->second.slot);
    if (expected->second.slot == TeacherList::kNotListed) CHECK(handle_name(names.unlisted_handle(place)) == expected->second.handle);
}

// Names of up to 9 characters from a small alphabet, with an empty name, a NUL and a
// two-byte character among them: many are drawn twice.
std::string random_name(std::mt19937_64& random) {
    static const std::string letters[] = {"a", "b", std::string(1, '\0'), "\u00e9"};
    std::string name;
    for (std::size_t size = random() % 10; size > 0; --size) name += letters[random() % 4];
    return name;
}

void run_random(std::uint64_t seed, int steps, const HashOf& hash_of) {
    CAPTURE(seed);
    std::mt19937_64 random(seed);
    TeacherNames names;
    std::map<std::string, Filed> plain;
    int handles = 0;
    const auto new_handle = [&] {
        return TeacherRef(Teacher("handle " + std::to_string(handles++), Subjects::Maths, true));
    };
    for (int step = 0; step < steps; ++step) {
        CAPTURE(step);
        const std::string name = random_name(random);
        const std::uint64_t hash = hash_of(names, name);
        const auto filed = plain.find(name);
        switch (random() % 4) {
        case 0:
        case 1:
            check_filed(names, plain, name, hash_of);
            if (filed != plain.end()) break;  // filed once only
            names.make_room(name.size());
            if (random() % 3 != 0) {
                const TeacherList::Slot slot{static_cast<std::uint32_t>(random() % 100000)};
                REQUIRE(names.add_listed(name, hash, slot) == entry_at(plain.size()));
                plain.emplace(name, Filed{entry_at(plain.size()), slot, ""});
            } else {
                TeacherRef handle = new_handle();
                const std::string tag = handle_name(handle);
                REQUIRE(names.add_unlisted(name, hash, std::move(handle)) == entry_at(plain.size()));
                plain.emplace(name, Filed{entry_at(plain.size()), TeacherList::kNotListed, tag});
            }
            break;
        case 2:
            check_filed(names, plain, name, hash_of);
            break;
        default: {  // a name filed already gets a handle in place of what it had
            if (filed == plain.end()) break;
            TeacherRef handle = new_handle();
            filed->second.handle = handle_name(handle);
            filed->second.slot = TeacherList::kNotListed;
            names.replace(filed->second.entry, std::move(handle));
            break;
        }
        }
        REQUIRE(names.size() == plain.size());
    }
    for (const auto& [name, filed] : plain) check_filed(names, plain, name, hash_of);
}

std::uint64_t own_hash(const TeacherNames& names, const std::string& name) { return names.hash(name); }

}  // namespace

TEST_CASE("an empty hashtable finds no name") {
    const TeacherNames names;
    CHECK(names.size() == 0);
    CHECK(names.find("") == TeacherNames::kNotFound);
    CHECK(names.find("Asha") == TeacherNames::kNotFound);
}

TEST_CASE("names that differ by a byte are filed apart") {
    TeacherNames names;
    const std::string filed[] = {"", "Asha", "asha", "Asha ", std::string("Asha\0", 5), "Ash"};
    for (std::size_t i = 0; i < std::size(filed); ++i) {
        names.make_room(filed[i].size());
        const TeacherList::Slot slot{static_cast<std::uint32_t>(10 + i)};
        CHECK(names.add_listed(filed[i], names.hash(filed[i]), slot) == entry_at(i));
    }
    for (std::size_t i = 0; i < std::size(filed); ++i) {
        CAPTURE(i);
        REQUIRE(names.find(filed[i]) == entry_at(i));
        CHECK(names.slot(entry_at(i)).value == 10 + i);
    }
    CHECK(names.find("ASHA") == TeacherNames::kNotFound);
    CHECK(names.find("Ashaa") == TeacherNames::kNotFound);
}

TEST_CASE("a listed name refiled with a handle leaves the list") {
    TeacherNames names;
    names.make_room(4);
    const TeacherNames::EntryId place = names.add_listed("Asha", names.hash("Asha"), TeacherList::Slot{3});
    names.replace(place, TeacherRef(Teacher("first", Subjects::Maths, true)));
    CHECK(names.slot(place) == TeacherList::kNotListed);
    CHECK(handle_name(names.unlisted_handle(place)) == "first");
    names.replace(place, TeacherRef(Teacher("second", Subjects::Physics, false)));
    CHECK(handle_name(names.unlisted_handle(place)) == "second");
    CHECK(names.find("Asha") == place);
    CHECK(names.size() == 1);
}

TEST_CASE("random filing agrees with a map, with the table's own hash codes") {
    for (std::uint64_t seed = 31; seed < 34; ++seed) run_random(seed, 4000, own_hash);
}

// Codes that share their bucket and their upper half by the dozen: the names alone tell
// the entries apart, and probes run long.
TEST_CASE("random filing agrees with a map when hash codes collide") {
    const HashOf colliding = [](const TeacherNames&, const std::string& name) {
        return (std::uint64_t{name.size() % 2} << 32) | (name.size() % 5);
    };
    for (std::uint64_t seed = 41; seed < 43; ++seed) run_random(seed, 3000, colliding);
}
