#include "report/why_uncovered.hpp"

namespace lessoncover {
namespace {

void append_count(std::string& out, std::int64_t number, std::string_view one, std::string_view many) {
    out += std::to_string(number);
    out += ' ';
    out += number == 1 ? one : many;
}

}  // namespace

BusyCounts busy_counts(const Uncovered& uncovered) noexcept {
    return BusyCounts{uncovered.present_teachers, uncovered.busy_teaching, uncovered.busy_covering,
                      uncovered.busy_unavailable, uncovered.at_cap};
}

std::string why_uncovered(std::int64_t period, const BusyCounts& counts) {
    if (counts.present == 0) return "no teacher is present";
    if (counts.present == 1) {
        // The one teacher is in the first group that has anybody.
        const std::string_view doing = counts.teaching != 0      ? "teaches"
                                       : counts.covering != 0    ? "covers"
                                       : counts.unavailable != 0 ? "is unavailable"
                                                                 : "is at the cap";
        return "the only present teacher is busy in period " + std::to_string(period) + ": " + std::string(doing);
    }
    std::string text = "all " + std::to_string(counts.present) + " present teachers are busy in period " +
                       std::to_string(period) + ": ";
    append_count(text, counts.teaching, "teaches", "teach");
    text += ", ";
    append_count(text, counts.covering, "covers", "cover");
    if (counts.unavailable != 0) text += ", " + std::to_string(counts.unavailable) + " unavailable";
    if (counts.at_cap != 0) text += ", " + std::to_string(counts.at_cap) + " at the cap";
    return text;
}

std::string why_not_needed(Rule rule, std::int64_t period, std::string_view class_name,
                           std::string_view co_teacher) {
    std::string text;
    if (rule == Rule::away) {
        text += "class ";
        text += class_name;
        text += " is away";
        return text;
    }
    text += co_teacher;
    text += " also teaches ";
    text += class_name;
    text += " in period ";
    text += std::to_string(period);
    return text;
}

}  // namespace lessoncover
