// What the report says of each absent lesson, kept ready before planning: the class name,
// and the report row but for the substitute's name, split around it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/text_kind.hpp"

namespace lessoncover {

// One absent lesson's texts, at `start` in LessonTexts::texts: the class name, then the
// row's part before the substitute's name, then its part after.
struct LessonText {
    std::size_t start;
    std::uint32_t class_name_size;
    std::uint32_t before;  // the length of the row's part before the substitute's name
    std::uint32_t after;   // the length of the part after it
    std::int16_t period;
};

class LessonTexts {
public:
    // Adds the next absent lesson: `absent_name` must stay valid as long as this does.
    void append(std::string_view absent_name, std::int16_t period, std::string_view subject,
                std::string_view class_name, std::string_view reason);
    void clear();

    // Where the texts end now, for taking back what is added after.
    struct Mark {
        std::size_t lessons;
        std::size_t text_bytes;
        TextKind kind;
    };
    Mark mark() const noexcept { return Mark{lessons_.size(), texts_.size(), kind_}; }
    void truncate(Mark mark) noexcept {
        lessons_.resize(mark.lessons);
        absent_names_.resize(mark.lessons);
        texts_.resize(mark.text_bytes);
        kind_ = mark.kind;
    }

    std::size_t size() const noexcept { return lessons_.size(); }
    const LessonText& operator[](std::size_t lesson) const noexcept { return lessons_[lesson]; }
    std::int16_t period(std::size_t lesson) const noexcept { return lessons_[lesson].period; }
    std::string_view class_name(std::size_t lesson) const noexcept {
        return std::string_view(texts_).substr(lessons_[lesson].start, lessons_[lesson].class_name_size);
    }
    std::string_view row_before(std::size_t lesson) const noexcept {
        const LessonText& text = lessons_[lesson];
        return std::string_view(texts_).substr(text.start + text.class_name_size, text.before);
    }
    std::string_view row_after(std::size_t lesson) const noexcept {
        const LessonText& text = lessons_[lesson];
        return std::string_view(texts_).substr(text.start + text.class_name_size + text.before, text.after);
    }
    std::string_view absent_name(std::size_t lesson) const noexcept { return absent_names_[lesson]; }
    // The narrowest kind of text holding every text added so far.
    TextKind kind() const noexcept { return kind_; }

private:
    std::string texts_;
    std::vector<LessonText> lessons_;
    std::vector<std::string_view> absent_names_;
    TextKind kind_ = TextKind::ascii;
};

}  // namespace lessoncover
