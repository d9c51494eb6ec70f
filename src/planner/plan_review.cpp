#include "planner/plan_review.hpp"

#include <algorithm>

namespace lessoncover {
namespace {

constexpr std::uint64_t teacher_class_key(std::uint32_t teacher, std::uint32_t class_id) noexcept {
    return (std::uint64_t{teacher} << 32) | class_id;
}

// A cover as the cap counts it: not a lesson that follows its combined set's first.
bool is_cover(const Decision& decision) noexcept {
    return decision.substitute != Decision::kNobody && decision.rule != Rule::combined;
}

std::string counted(std::uint64_t number, const char* singular, const char* plural) {
    return std::to_string(number) + " " + (number == 1 ? singular : plural);
}

}  // namespace

PlanReview::PlanReview(const Day& day, const DayInput& built, const Plan& plan)
    : day_(day), built_(built), plan_(plan), covers_today_(day.teachers.size(), 0) {
    const PlanningInput& input = built.input;
    const std::size_t lessons = plan.decisions.size();
    const auto substitute_of = [&](std::size_t lesson) { return built.list_order[plan.decisions[lesson].substitute]; };
    const auto prior = [&](std::uint32_t teacher) -> std::uint64_t {
        return day.policy.prior_covers.empty() ? 0 : day.policy.prior_covers[teacher];
    };
    const auto is_supply = [&](std::uint32_t teacher) { return !day.policy.supply.empty() && day.policy.supply[teacher]; };

    // What each substitute held when the greedy rules chose it: pins are booked first, then
    // the lessons in order, each cover adding one.
    std::vector<std::uint64_t> booked(input.teachers.size(), 0);
    for (const PlanningPin& pin : input.policy.pins) booked[pin.substitute] += pin.books ? 1 : 0;
    held_when_chosen_.assign(lessons, 0);
    std::vector<std::uint8_t> is_substitute(day.teachers.size(), 0);
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == Decision::kNobody) continue;
        is_substitute[substitute_of(lesson)] = 1;
        if (!is_cover(decision) || decision.rule == Rule::pinned) continue;
        held_when_chosen_[lesson] = input.teachers[decision.substitute].load + booked[decision.substitute]++;
    }

    // The classes the substitutes teach that day, for knows().
    for (const DayLesson& lesson : day.lessons) {
        if (is_substitute[lesson.teacher]) taught_classes_.push_back(teacher_class_key(lesson.teacher, lesson.class_id));
    }
    std::sort(taught_classes_.begin(), taught_classes_.end());
    taught_classes_.erase(std::unique(taught_classes_.begin(), taught_classes_.end()), taught_classes_.end());

    // A combined set knows its class when its substitute teaches any of its classes.
    std::vector<std::uint8_t> knows_set(lessons, 0);
    const std::vector<LessonLinks>& links = input.policy.lessons;
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == Decision::kNobody || !knows(substitute_of(lesson), built.lesson_class[lesson])) continue;
        const bool follows = decision.rule == Rule::combined && !links.empty() && links[lesson].leader != LessonLinks::kNone;
        knows_set[follows ? links[lesson].leader : lesson] = 1;
    }

    PlanFigures& figures = figures_;
    // Covered lessons by (absent teacher, class, period), to find the doubles kept.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> covered;  // (key, lesson)
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == Decision::kNobody) continue;
        ++figures.covered;
        const std::uint32_t absent = built.lesson_absent[lesson];
        const auto period = static_cast<std::uint16_t>(built.texts.period(lesson) + 32768);
        covered.emplace_back((teacher_class_key(absent, built.lesson_class[lesson]) << 16) | period,
                             static_cast<std::uint32_t>(lesson));
        if (!is_cover(decision)) continue;
        const std::uint32_t substitute = substitute_of(lesson);
        ++covers_today_[substitute];
        if (is_supply(substitute)) {
            ++figures.supply;
        } else if (day.teachers[substitute].subject == day.teachers[absent].subject) {
            ++figures.subject;
        }
        figures.knows_class += knows_set[lesson];
    }
    std::sort(covered.begin(), covered.end());
    for (std::size_t at = 1; at < covered.size(); ++at) {
        const auto [key, lesson] = covered[at];
        const auto [before_key, before] = covered[at - 1];
        if (key == before_key + 1 && (key >> 16) == (before_key >> 16) &&
            plan.decisions[lesson].substitute == plan.decisions[before].substitute) {
            ++figures.doubles_kept;
        }
    }
    for (std::uint32_t teacher = 0; teacher < day.teachers.size(); ++teacher) {
        if (!day.teachers[teacher].present) continue;
        const std::uint64_t load = prior(teacher) + covers_today_[teacher];
        if (covers_today_[teacher] != 0) figures.largest_load = std::max(figures.largest_load, load);
        figures.sum_of_squares += load * load;
    }
}

bool PlanReview::knows(std::uint32_t teacher, std::uint32_t class_id) const {
    return std::binary_search(taught_classes_.begin(), taught_classes_.end(), teacher_class_key(teacher, class_id));
}

std::string PlanReview::why(std::uint32_t lesson) const {
    const Decision& decision = plan_.decisions[lesson];
    const std::uint32_t substitute = built_.list_order[decision.substitute];
    const std::uint32_t absent = built_.lesson_absent[lesson];
    const std::vector<LessonLinks>& links = built_.input.policy.lessons;
    switch (decision.rule) {
        case Rule::pinned: return "fixed in advance";
        case Rule::combined: {
            const std::uint32_t leader = links.empty() ? LessonLinks::kNone : links[lesson].leader;
            if (leader == LessonLinks::kNone) return "combined with another class";
            return "combined with " + std::string(day_.classes[built_.lesson_class[leader]]);
        }
        default: break;
    }
    // A double lesson kept: the half decided before, with the same substitute.
    std::string why;
    if (!links.empty() && (decision.rule == Rule::double_lesson || decision.rule == Rule::supply)) {
        for (const std::uint32_t neighbour : {links[lesson].before, links[lesson].after}) {
            if (neighbour < lesson && plan_.decisions[neighbour].substitute == decision.substitute) {
                why = "keeps the double lesson with period " + std::to_string(built_.texts.period(neighbour)) + "; ";
                break;
            }
        }
    }
    if (built_.input.policy.strategy == Strategy::greedy) {
        switch (decision.rule) {
            case Rule::subject:
                return "same subject, fewest lessons (" + std::to_string(held_when_chosen_[lesson]) + ")";
            case Rule::any: return "first free in the list";
            case Rule::supply: return why.empty() ? "supply staff: nobody of the school was free" : why + "supply staff";
            default: return why.substr(0, why.size() - 2);  // the double lesson
        }
    }
    const bool supply = !day_.policy.supply.empty() && day_.policy.supply[substitute];
    if (supply) {
        why += "supply staff";
    } else if (day_.teachers[substitute].subject == day_.teachers[absent].subject) {
        why += "same subject";
    } else {
        why += "another subject";
    }
    if (knows(substitute, built_.lesson_class[lesson])) {
        why += "; teaches " + std::string(day_.classes[built_.lesson_class[lesson]]) + " today";
    }
    const std::uint64_t prior = day_.policy.prior_covers.empty() ? 0 : day_.policy.prior_covers[substitute];
    why += "; " + counted(covers_today_[substitute], "cover", "covers") + " today";
    if (prior != 0) why += ", " + std::to_string(prior) + " before";
    return why;
}

}  // namespace lessoncover
