// The classes a school has been given, as add_class copied them in, kept packed: the
// names side by side, every class's entries in one array, and the stores the entries name
// teachers in once for each run of classes that name the same ones (a school's classes
// nearly all name just its own). Nothing outside the school reaches these copies, and
// only printing the school reads them, so a class is kept in a few dozen bytes beside its
// entries rather than as a record of its own, and rebuilt for a moment when printed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "school/class_record.hpp"
#include "school/teacher_store.hpp"

namespace lessoncover {

class ClassArchive {
public:
    // How much was kept at some moment, so that a class added part way can be taken back.
    struct Mark {
        std::size_t classes;
        std::size_t name_bytes;
        std::size_t entries;
        std::size_t sources;
        std::size_t handles;
    };

    Mark mark() const noexcept {
        return Mark{classes_.size(), names_.size(), entries_.size(), sources_.size(), handles_.size()};
    }
    // Takes back everything kept since `mark`.
    void truncate(const Mark& mark) noexcept;

    // Starts keeping a class: its name, stores and own handles, with no entries yet.
    // Throws std::bad_alloc; truncate to a mark taken before then takes it back.
    void begin(const Class& added);
    // Entries of the class begun last, in order. Throws std::bad_alloc, as begin does.
    void append_entries(std::span<const PeriodEntry> entries);

    std::size_t size() const noexcept { return classes_.size(); }
    // The class as it was added. Throws std::bad_alloc.
    Class restore(std::size_t index) const;

private:
    // Where a kept class's name, entries, sources and handles lie in the arrays below.
    struct ClassPlaces {
        std::size_t name_start;  // in names_
        std::size_t entries_start;
        std::size_t entries_size;
        std::uint32_t name_size;
        std::uint32_t sources_start;  // in sources_: runs of classes share theirs
        std::uint32_t sources_size;
        std::uint32_t handles_start;
        std::uint32_t handles_size;
    };

    bool same_sources_as_last(const Class& added) const noexcept;

    std::vector<ClassPlaces> classes_;
    std::string names_;
    std::vector<PeriodEntry> entries_;
    std::vector<TeacherStoreRef> sources_;
    std::vector<TeacherRef> handles_;
};

}  // namespace lessoncover
