#include "school/class_archive.hpp"

#include <algorithm>
#include <limits>
#include <new>

#include "reserve_more.hpp"

namespace lessoncover {
namespace {

// Places and sizes are kept in 32 bits; that many stores or handles (16 bytes each) or
// name bytes would take far more memory than there is, and are refused as such.
std::uint32_t narrow(std::size_t value) {
    if (value > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    return static_cast<std::uint32_t>(value);
}

}  // namespace

void ClassArchive::truncate(const Mark& mark) noexcept {
    classes_.resize(mark.classes);
    names_.resize(mark.name_bytes);
    entries_.resize(mark.entries);
    sources_.resize(mark.sources);
    handles_.erase(handles_.begin() + static_cast<std::ptrdiff_t>(mark.handles), handles_.end());
}

bool ClassArchive::same_sources_as_last(const Class& added) const noexcept {
    if (classes_.empty()) return added.sources.empty();
    const ClassPlaces& last = classes_.back();
    return std::equal(added.sources.begin(), added.sources.end(), sources_.begin() + last.sources_start,
                      sources_.begin() + last.sources_start + last.sources_size);
}

void ClassArchive::begin(const Class& added) {
    reserve_more(classes_, 1);
    ClassPlaces places{names_.size(), entries_.size(), 0, narrow(added.class_name.size()),
                       0, 0, narrow(handles_.size()), narrow(added.own_handles.size())};
    if (same_sources_as_last(added)) {
        places.sources_start = classes_.empty() ? 0 : classes_.back().sources_start;
    } else {
        places.sources_start = narrow(sources_.size());
        sources_.insert(sources_.end(), added.sources.begin(), added.sources.end());
    }
    places.sources_size = narrow(added.sources.size());
    narrow(handles_.size() + added.own_handles.size());
    names_ += added.class_name;
    handles_.insert(handles_.end(), added.own_handles.begin(), added.own_handles.end());
    classes_.push_back(places);  // room was made
}

void ClassArchive::append_entries(std::span<const PeriodEntry> entries) {
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    classes_.back().entries_size += entries.size();
}

Class ClassArchive::restore(std::size_t index) const {
    const ClassPlaces& places = classes_[index];
    Class restored{names_.substr(places.name_start, places.name_size)};
    const auto from = [](const auto& items, std::size_t start, std::size_t size) {
        return std::span(items).subspan(start, size);
    };
    const auto entries = from(entries_, places.entries_start, places.entries_size);
    restored.list_of_periods.assign(entries.begin(), entries.end());
    const auto sources = from(sources_, places.sources_start, places.sources_size);
    restored.sources.assign(sources.begin(), sources.end());
    const auto handles = from(handles_, places.handles_start, places.handles_size);
    restored.own_handles.assign(handles.begin(), handles.end());
    return restored;
}

}  // namespace lessoncover
