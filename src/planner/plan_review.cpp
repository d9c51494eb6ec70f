#include "planner/plan_review.hpp"

#include <algorithm>
#include <tuple>

namespace lessoncover {
namespace {

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
    // A cover as the cap counts it: not a lesson that follows its combined set's first,
    // by the rule or pinned with it.
    std::vector<std::uint8_t> follows(lessons, 0);
    for (const PlanningPin& pin : input.policy.pins) {
        booked[pin.substitute] += pin.books ? 1 : 0;
        follows[pin.lesson] = pin.books ? 0 : 1;
    }
    const auto is_cover = [&](std::size_t lesson) {
        const Decision& decision = plan.decisions[lesson];
        return decision.substitute != Decision::kNobody && decision.rule != Rule::combined && !follows[lesson];
    };
    held_when_chosen_.assign(lessons, 0);
    std::vector<std::uint8_t> is_substitute(day.teachers.size(), 0);
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == Decision::kNobody) continue;
        is_substitute[substitute_of(lesson)] = 1;
        if (!is_cover(lesson) || decision.rule == Rule::pinned) continue;
        held_when_chosen_[lesson] = input.teachers[decision.substitute].load + booked[decision.substitute]++;
    }

    // The classes each substitute teaches that day, for knows(): the substitutes' lessons
    // grouped by teacher, by counting.
    class_starts_.assign(day.teachers.size() + 1, 0);
    for (const DayLesson& lesson : day.lessons) class_starts_[lesson.teacher + 1] += is_substitute[lesson.teacher];
    for (std::size_t teacher = 0; teacher < day.teachers.size(); ++teacher) class_starts_[teacher + 1] += class_starts_[teacher];
    taught_classes_.resize(class_starts_.back());
    std::vector<std::uint32_t> next(class_starts_.begin(), class_starts_.end() - 1);
    for (const DayLesson& lesson : day.lessons) {
        if (is_substitute[lesson.teacher]) taught_classes_[next[lesson.teacher]++] = lesson.class_id;
    }

    // The covers: with combined lessons, the lessons one substitute takes in one period
    // are one (a combined set, whoever decided it), else each lesson is one. A cover is
    // named by its first lesson and knows its class when its substitute teaches any of its
    // classes.
    std::vector<std::uint32_t> cover_of(lessons, Decision::kNobody);  // by covered lesson
    if (input.policy.combined_lessons) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> by_slot;  // ((substitute, period), lesson)
        for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
            if (plan.decisions[lesson].substitute == Decision::kNobody) continue;
            const auto period = static_cast<std::uint16_t>(built.texts.period(lesson));
            by_slot.emplace_back((std::uint64_t{plan.decisions[lesson].substitute} << 16) | period,
                                 static_cast<std::uint32_t>(lesson));
        }
        std::sort(by_slot.begin(), by_slot.end());
        for (std::size_t at = 0; at < by_slot.size(); ++at) {
            const bool first = at == 0 || by_slot[at].first != by_slot[at - 1].first;
            cover_of[by_slot[at].second] = first ? by_slot[at].second : cover_of[by_slot[at - 1].second];
        }
    } else {
        for (std::uint32_t lesson = 0; lesson < lessons; ++lesson) cover_of[lesson] = lesson;
    }
    std::vector<std::uint8_t> cover_knows(lessons, 0);

    PlanFigures& figures = figures_;
    // Covered lessons by (absent teacher, class, period), to find the doubles kept.
    std::vector<std::tuple<std::uint32_t, std::uint32_t, int, std::uint32_t>> covered;  // ..., lesson
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == Decision::kNobody) continue;
        ++figures.covered;
        const std::uint32_t absent = built.lesson_absent[lesson];
        const std::uint32_t substitute = substitute_of(lesson);
        covered.emplace_back(absent, built.lesson_class[lesson], built.texts.period(lesson), static_cast<std::uint32_t>(lesson));
        cover_knows[cover_of[lesson]] |= knows(substitute, built.lesson_class[lesson]) ? 1 : 0;
        if (cover_of[lesson] != lesson) continue;
        ++covers_today_[substitute];
        if (is_supply(substitute)) {
            ++figures.supply;
        } else if (day.teachers[substitute].subject == day.teachers[absent].subject) {
            ++figures.subject;
        }
    }
    for (const std::uint8_t knows_class : cover_knows) figures.knows_class += knows_class;
    std::sort(covered.begin(), covered.end());
    for (std::size_t at = 1; at < covered.size(); ++at) {
        const auto [absent, class_id, period, lesson] = covered[at];
        const auto [before_absent, before_class, before_period, before] = covered[at - 1];
        if (absent == before_absent && class_id == before_class && period == before_period + 1 &&
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
    const auto first = taught_classes_.begin() + class_starts_[teacher];
    const auto last = taught_classes_.begin() + class_starts_[teacher + 1];
    return std::find(first, last, class_id) != last;
}

std::string_view PlanReview::why(std::uint32_t lesson, std::string& text) const {
    const Decision& decision = plan_.decisions[lesson];
    const std::uint32_t substitute = built_.list_order[decision.substitute];
    const std::uint32_t absent = built_.lesson_absent[lesson];
    const std::vector<LessonLinks>& links = built_.input.policy.lessons;
    text.clear();
    switch (decision.rule) {
        case Rule::pinned: return "fixed in advance";
        case Rule::combined: {
            const std::uint32_t leader = links.empty() ? LessonLinks::kNone : links[lesson].leader;
            if (leader == LessonLinks::kNone) return "combined with another class";
            return text.append("combined with ").append(day_.classes[built_.lesson_class[leader]]);
        }
        default: break;
    }
    // A double lesson kept: the half decided before, with the same substitute.
    if (!links.empty() && (decision.rule == Rule::double_lesson || decision.rule == Rule::supply)) {
        for (const std::uint32_t neighbour : {links[lesson].before, links[lesson].after}) {
            if (neighbour < lesson && plan_.decisions[neighbour].substitute == decision.substitute) {
                text.append("keeps the double lesson with period ").append(std::to_string(built_.texts.period(neighbour)));
                break;
            }
        }
    }
    if (built_.input.policy.strategy == Strategy::greedy) {
        switch (decision.rule) {
            case Rule::subject:
                return text.append("same subject, fewest lessons (").append(std::to_string(held_when_chosen_[lesson])).append(")");
            case Rule::any: return "first free in the list";
            case Rule::supply:
                if (text.empty()) return "supply staff: nobody of the school was free";
                return text.append("; supply staff");
            default:
                if (text.empty()) return "keeps the double lesson";
                return text;
        }
    }
    if (!text.empty()) text.append("; ");
    if (!day_.policy.supply.empty() && day_.policy.supply[substitute]) {
        text.append("supply staff");
    } else if (day_.teachers[substitute].subject == day_.teachers[absent].subject) {
        text.append("same subject");
    } else {
        text.append("another subject");
    }
    if (knows(substitute, built_.lesson_class[lesson])) {
        text.append("; teaches ").append(day_.classes[built_.lesson_class[lesson]]).append(" today");
    }
    const std::uint64_t covers = covers_today_[substitute];
    text.append("; ").append(std::to_string(covers)).append(covers == 1 ? " cover today" : " covers today");
    const std::uint64_t prior = day_.policy.prior_covers.empty() ? 0 : day_.policy.prior_covers[substitute];
    if (prior != 0) text.append(", ").append(std::to_string(prior)).append(" before");
    return text;
}

}  // namespace lessoncover
