#include "report/lesson_texts.hpp"

#include <algorithm>
#include <charconv>

#include "report/csv_field.hpp"

namespace lessoncover {

void LessonTexts::append(std::string_view absent_name, std::int16_t period, std::string_view subject,
                         std::string_view class_name, std::string_view reason) {
    const std::size_t start = texts_.size();
    texts_ += class_name;
    const std::size_t row = texts_.size();
    append_csv_field(texts_, absent_name);
    texts_ += ',';
    char digits[8];
    texts_.append(digits, std::to_chars(digits, digits + sizeof digits, period).ptr);
    texts_ += ',';
    append_csv_field(texts_, subject);
    texts_ += ',';
    const std::size_t middle = texts_.size();
    texts_ += ',';
    append_csv_field(texts_, class_name);
    texts_ += ',';
    append_csv_field(texts_, reason);
    texts_ += '\n';
    lessons_.push_back(LessonText{start, static_cast<std::uint32_t>(class_name.size()),
                                  static_cast<std::uint32_t>(middle - row),
                                  static_cast<std::uint32_t>(texts_.size() - middle), period});
    absent_names_.push_back(absent_name);
    if (kind_ != TextKind::wide) kind_ = std::max(kind_, text_kind(std::string_view(texts_).substr(start)));
}

void LessonTexts::clear() {
    texts_.clear();
    lessons_.clear();
    absent_names_.clear();
    kind_ = TextKind::ascii;
}

}  // namespace lessoncover
