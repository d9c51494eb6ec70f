#include "planner/decide.hpp"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

namespace lessoncover {

std::string_view rule_name(Rule rule) noexcept {
    switch (rule) {
        case Rule::subject: return "subject";
        case Rule::any: return "any";
        case Rule::double_lesson: return "double";
        case Rule::combined: return "combined";
        case Rule::away: return "away";
        case Rule::co_taught: return "co-taught";
        case Rule::pinned: return "pinned";
        case Rule::uncovered: break;
    }
    return "uncovered";
}

void CoverPlanner::decide(const PlanningInput& input, Plan& plan) {
    InterruptionCheck never;
    decide(input, plan, never);
}

void CoverPlanner::decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check) {
    input_ = &input;
    plan.clear();
    plan.decisions.reserve(input.lessons.size());
    lesson_codes_ = 0;
    for (const PlanningLesson& lesson : input.lessons) {
        if (lesson.code != PeriodCodes::kNoCode) lesson_codes_ |= std::uint64_t{1} << lesson.code;
    }
    place_candidates();
    listed_in_order_ = false;
    in_list_order_.clear();
    cursor_by_code_.fill(0);
    cursor_by_uncoded_period_.clear();
    covers_by_code_.fill(0);
    covers_by_uncoded_period_.clear();
    uncoded_covers_.clear();
    teaching_counted_ = false;
    uncoded_searches_ = 0;
    groups_by_uncoded_period_.clear();
    capped_free_by_code_.fill(0);
    capped_in_order_.clear();
    start_caps();
    apply_pins();

    for (std::size_t index = 0; index < input.lessons.size(); ++index) {
        // Lessons are counted a block at a time; a lesson in a period without a code also by
        // the searches made since the last such lesson, whose work grows with the candidates.
        constexpr std::size_t kLessonBlock = 1024;
        if (index % kLessonBlock == 0 && check.step(kLessonBlock)) return;
        const PlanningLesson& lesson = input.lessons[index];
        if (lesson.code == PeriodCodes::kNoCode &&
            check.step(static_cast<std::int64_t>(std::exchange(uncoded_searches_, 0)))) {
            return;
        }
        const Decision decision = decide_lesson(static_cast<std::uint32_t>(index), lesson, plan);
        plan.decisions.push_back(decision);
        switch (decision.rule) {
            case Rule::uncovered:
                plan.uncovered.push_back(why_uncovered(static_cast<std::uint32_t>(index), lesson));
                break;
            case Rule::away:
            case Rule::co_taught: ++plan.not_needed; break;
            default: ++plan.covered; break;
        }
    }
}

// The one place where a lesson's cover is chosen, step by step as decide() lists them.
Decision CoverPlanner::decide_lesson(std::uint32_t index, const PlanningLesson& lesson, const Plan& plan) {
    if (!pinned_substitute_.empty() && pinned_substitute_[index] != Decision::kNobody) {
        return Decision{pinned_substitute_[index], Rule::pinned};  // booked by apply_pins()
    }
    const PlanningPolicy& policy = input_->policy;
    if (!policy.lessons.empty()) {
        const LessonLinks& links = policy.lessons[index];
        if (links.need == LessonNeed::none_away) return Decision{Decision::kNobody, Rule::away};
        if (links.need == LessonNeed::none_co_taught) return Decision{Decision::kNobody, Rule::co_taught};
        if (policy.combined_lessons && links.leader != LessonLinks::kNone) {
            const Decision& first = plan.decisions[links.leader];
            if (first.substitute == Decision::kNobody) return Decision{Decision::kNobody, Rule::uncovered};
            return Decision{first.substitute, Rule::combined};
        }
        if (policy.keep_doubles) {
            for (const std::uint32_t neighbour : {links.before, links.after}) {
                if (Candidate* same = same_substitute_as(neighbour, index, lesson, plan)) {
                    take(*same, lesson);
                    return Decision{same->teacher, Rule::double_lesson};
                }
            }
        }
    }
    if (Candidate* colleague = free_colleague(lesson)) {
        take(*colleague, lesson);
        return Decision{colleague->teacher, Rule::subject};
    }
    if (Candidate* anyone = first_free_teacher(lesson)) {
        take(*anyone, lesson);
        return Decision{anyone->teacher, Rule::any};
    }
    return Decision{Decision::kNobody, Rule::uncovered};
}

// The substitute of lesson `neighbour`, when it was decided before lesson `index` and that
// teacher can take this lesson too.
Candidate* CoverPlanner::same_substitute_as(std::uint32_t neighbour, std::uint32_t index, const PlanningLesson& lesson,
                                            const Plan& plan) {
    if (neighbour >= index) return nullptr;  // none, or not decided yet
    const std::uint32_t substitute = plan.decisions[neighbour].substitute;
    if (substitute == Decision::kNobody) return nullptr;
    Candidate& candidate = candidates_[place_of_teacher_[substitute]];
    return can_take(candidate, lesson) ? &candidate : nullptr;
}

bool CoverPlanner::can_take(const Candidate& candidate, const PlanningLesson& lesson) const {
    return !is_capped(candidate) && !is_busy(candidate, lesson);
}

// The present teachers, pool by pool, each pool in list order, with each pool's bitsets.
void CoverPlanner::place_candidates() {
    constexpr std::size_t kWriteAhead = 8;  // candidates: three cache lines
    const PlanningInput& input = *input_;
    const std::size_t subjects = input.present_by_subject.size();
    subject_starts_.assign(subjects + 1, 0);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        subject_starts_[subject + 1] = subject_starts_[subject] + input.present_by_subject[subject];
    }
    candidates_.resize(subject_starts_[subjects]);
    next_place_.assign(subject_starts_.begin(), subject_starts_.end() - 1);
    // Codes that no lesson is in are never asked about: the pools keep busy rows only up to
    // the last code asked.
    const auto rows = static_cast<std::size_t>(64 - std::countl_zero(lesson_codes_));
    if (pools_.size() < subjects) pools_.resize(subjects);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        pools_[subject].start(input.present_by_subject[subject], rows);
    }
    const bool by_teacher = input.policy.keep_doubles || !input.policy.pins.empty();
    if (by_teacher) place_of_teacher_.assign(input.teachers.size(), 0);
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        const PlanningTeacher& listed = input.teachers[teacher];
        if (!listed.present) continue;
        if (listed.subject >= subjects || next_place_[listed.subject] == subject_starts_[listed.subject + 1]) {
            throw std::invalid_argument("planning input: present teachers and their subjects disagree");
        }
        // A teacher absent or unavailable in a period is, to the rules, busy then.
        std::uint64_t busy = listed.busy;
        if (!input.policy.limits.empty()) {
            busy |= input.policy.limits[teacher].absent | input.policy.limits[teacher].unavailable;
        }
        const std::size_t place = next_place_[listed.subject]++;
        if (by_teacher) place_of_teacher_[teacher] = static_cast<std::uint32_t>(place);
        // Each pool is written front to back, but the pools side by side are more streams
        // than the hardware follows: each asks for its next lines itself.
        if (place + kWriteAhead < candidates_.size()) __builtin_prefetch(&candidates_[place + kWriteAhead], 1);
        candidates_[place] = Candidate{busy, listed.load, static_cast<std::uint32_t>(teacher), listed.subject};
        pools_[listed.subject].append(listed.load, busy);
    }
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        if (next_place_[subject] != subject_starts_[subject + 1]) {
            throw std::invalid_argument("planning input: present teachers and their subjects disagree");
        }
        pools_[subject].finish_appending();
    }
}

// Under a cap, every candidate starts with no covers; a cap of 0 retires them all at once.
void CoverPlanner::start_caps() {
    const std::uint32_t cap = input_->policy.max_covers;
    if (cap == PlanningPolicy::kNoCap) {
        covers_given_.clear();
        capped_.clear();
        return;
    }
    covers_given_.assign(candidates_.size(), 0);
    capped_.assign(candidates_.size(), 0);
    if (cap == 0) {
        for (Candidate& candidate : candidates_) retire(candidate);
    }
}

// The candidate has given as many covers as the cap allows: it is never chosen again, and
// is counted, in the periods it is free, as at the cap.
void CoverPlanner::retire(Candidate& candidate) {
    const auto place = static_cast<std::size_t>(&candidate - candidates_.data());
    capped_[place] = 1;
    capped_in_order_.push_back(static_cast<std::uint32_t>(place));
    pools_[candidate.subject].remove(place - subject_starts_[candidate.subject], candidate.load);
    for (std::uint64_t free = lesson_codes_ & ~candidate.busy; free != 0; free &= free - 1) {
        ++capped_free_by_code_[static_cast<std::size_t>(std::countr_zero(free))];
    }
}

bool CoverPlanner::is_busy(const Candidate& candidate, const PlanningLesson& lesson) const {
    if (lesson.code != PeriodCodes::kNoCode) return (candidate.busy >> lesson.code) & 1U;
    const std::uint64_t key = PlanningInput::uncoded_key(candidate.teacher, lesson.period);
    ++uncoded_searches_;
    const PlanningPolicy& policy = input_->policy;
    return std::binary_search(input_->uncoded_busy.begin(), input_->uncoded_busy.end(), key) ||
           uncoded_covers_.contains(key) ||
           std::binary_search(policy.uncoded_absent.begin(), policy.uncoded_absent.end(), key) ||
           std::binary_search(policy.uncoded_unavailable.begin(), policy.uncoded_unavailable.end(), key);
}

// The free present teacher of the lesson's subject with the fewest lessons, the earlier in
// list order on equal counts. A subject nobody present teaches has no one.
Candidate* CoverPlanner::free_colleague(const PlanningLesson& lesson) {
    if (lesson.subject >= input_->present_by_subject.size()) return nullptr;
    const CandidatePool& pool = pools_[lesson.subject];
    Candidate* members = candidates_.data() + subject_starts_[lesson.subject];
    std::size_t member = 0;
    const bool found = lesson.code != PeriodCodes::kNoCode
                           ? pool.first_free(lesson.code, member)
                           : pool.first_where([&](std::size_t m) { return !is_busy(members[m], lesson); }, member);
    return found ? members + member : nullptr;
}

// The first present teacher of the list who can take the lesson. A teacher who cannot take
// a lesson in a period never can for the rest of the run, so each period's cursor only
// moves forward.
Candidate* CoverPlanner::first_free_teacher(const PlanningLesson& lesson) {
    if (!listed_in_order_) list_candidates_in_order();
    std::uint32_t& cursor = lesson.code != PeriodCodes::kNoCode
                                ? cursor_by_code_[lesson.code]
                                : cursor_by_uncoded_period_[static_cast<std::uint16_t>(lesson.period)];
    while (cursor < in_list_order_.size() && !can_take(candidates_[in_list_order_[cursor]], lesson)) ++cursor;
    return cursor < in_list_order_.size() ? &candidates_[in_list_order_[cursor]] : nullptr;
}

// Notes where each candidate is in candidates_, in list order. Only the lessons no subject
// colleague can take need it.
void CoverPlanner::list_candidates_in_order() {
    const PlanningInput& input = *input_;
    in_list_order_.reserve(candidates_.size());
    next_place_.assign(subject_starts_.begin(), subject_starts_.end() - 1);
    for (const PlanningTeacher& listed : input.teachers) {
        if (listed.present) in_list_order_.push_back(static_cast<std::uint32_t>(next_place_[listed.subject]++));
    }
    listed_in_order_ = true;
}

// Books the substitute for the lesson: from now on busy in the period, with one lesson
// more (a new one, since the substitute was free then).
void CoverPlanner::take(Candidate& substitute, const PlanningLesson& lesson) {
    const std::uint64_t busy = book_period(substitute, lesson);
    const std::size_t member = static_cast<std::size_t>(&substitute - candidates_.data()) - subject_starts_[substitute.subject];
    pools_[substitute.subject].add_lesson(member, substitute.load, busy);
    count_cover(substitute, busy);
}

// Notes the substitute as covering in the lesson's period; returns the period's busy bit
// (0 for a period without a code).
std::uint64_t CoverPlanner::book_period(const Candidate& substitute, const PlanningLesson& lesson) {
    if (lesson.code != PeriodCodes::kNoCode) {
        ++covers_by_code_[lesson.code];
        return std::uint64_t{1} << lesson.code;
    }
    uncoded_covers_.insert(PlanningInput::uncoded_key(substitute.teacher, lesson.period));
    ++covers_by_uncoded_period_[static_cast<std::uint16_t>(lesson.period)];
    return 0;
}

// One lesson and one cover more for the substitute, retired when that reaches the cap.
void CoverPlanner::count_cover(Candidate& substitute, std::uint64_t busy) {
    substitute.load += 1;
    substitute.busy |= busy;
    if (!covers_given_.empty()) {
        const auto place = static_cast<std::size_t>(&substitute - candidates_.data());
        if (++covers_given_[place] == input_->policy.max_covers) retire(substitute);
    }
}

// Books every pinned cover before any rule runs, so that the rules see the substitutes
// busy then, their loads and their covers towards the cap.
void CoverPlanner::apply_pins() {
    const std::vector<PlanningPin>& pins = input_->policy.pins;
    if (pins.empty()) {
        pinned_substitute_.clear();
        return;
    }
    pinned_substitute_.assign(input_->lessons.size(), Decision::kNobody);
    pinned_over_by_code_.fill(PinnedOver{});
    pinned_over_by_uncoded_period_.clear();
    for (const PlanningPin& fixed : pins) {
        pinned_substitute_[fixed.lesson] = fixed.substitute;
        if (fixed.books) pin(candidates_[place_of_teacher_[fixed.substitute]], input_->lessons[fixed.lesson]);
    }
}

// Books a pinned cover, which may break what the rules keep to: the substitute may teach
// or be unavailable then (it counts as covering there instead), or be at the cap already
// (retired, so out of its pool: only its own counts change).
void CoverPlanner::pin(Candidate& substitute, const PlanningLesson& lesson) {
    const PlanningTeacher& listed = input_->teachers[substitute.teacher];
    const PlanningPolicy& policy = input_->policy;
    PinnedOver* over = nullptr;
    bool teaching = false;
    bool unavailable = false;
    bool free = false;
    if (lesson.code != PeriodCodes::kNoCode) {
        over = &pinned_over_by_code_[lesson.code];
        const std::uint64_t bit = std::uint64_t{1} << lesson.code;
        teaching = (listed.busy & bit) != 0;
        unavailable = !policy.limits.empty() && (policy.limits[substitute.teacher].unavailable & bit) != 0;
        free = (substitute.busy & bit) == 0;
    } else {
        over = &pinned_over_by_uncoded_period_[static_cast<std::uint16_t>(lesson.period)];
        const std::uint64_t key = PlanningInput::uncoded_key(substitute.teacher, lesson.period);
        teaching = std::binary_search(input_->uncoded_busy.begin(), input_->uncoded_busy.end(), key);
        unavailable = std::binary_search(policy.uncoded_unavailable.begin(), policy.uncoded_unavailable.end(), key);
    }
    if (teaching) {
        ++over->teaching;
    } else if (unavailable) {
        ++over->unavailable;
    }
    if (!is_capped(substitute)) {
        take(substitute, lesson);
        return;
    }
    // Counted as at the cap in the periods it was free when retired: no longer in this one.
    if (free) --capped_free_by_code_[lesson.code];
    count_cover(substitute, book_period(substitute, lesson));
}

// Nobody could take the lesson: of the teachers present in its period (those absent only
// part of the day count where they are present), each in the first group that keeps it
// from covering: teaching, covering, unavailable, at the cap. Without a policy the last
// two are empty.
Uncovered CoverPlanner::why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson) {
    Uncovered why{lesson_index, static_cast<std::uint32_t>(candidates_.size()), 0, 0, 0, 0};
    if (lesson.code != PeriodCodes::kNoCode) {
        if (!teaching_counted_) count_groups_by_code();
        why.present_teachers -= absent_by_code_[lesson.code];
        why.busy_teaching = teaching_by_code_[lesson.code];
        why.busy_covering = covers_by_code_[lesson.code];
        why.busy_unavailable = unavailable_by_code_[lesson.code];
        why.at_cap = capped_free_by_code_[lesson.code];
        if (!pinned_substitute_.empty()) {
            why.busy_teaching -= pinned_over_by_code_[lesson.code].teaching;
            why.busy_unavailable -= pinned_over_by_code_[lesson.code].unavailable;
        }
        return why;
    }
    const auto period = static_cast<std::uint16_t>(lesson.period);
    const UncodedGroups& groups = uncoded_groups(period);
    why.present_teachers -= groups.absent;
    why.busy_teaching = groups.teaching;
    why.busy_covering = covers_by_uncoded_period_[period];
    why.busy_unavailable = groups.unavailable;
    for (const std::uint32_t place : capped_in_order_) {
        if (!is_busy(candidates_[place], lesson)) ++why.at_cap;
    }
    if (!pinned_substitute_.empty()) {
        const auto over = pinned_over_by_uncoded_period_.find(period);
        if (over != pinned_over_by_uncoded_period_.end()) {
            why.busy_teaching -= over->second.teaching;
            why.busy_unavailable -= over->second.unavailable;
        }
    }
    return why;
}

// The present teachers absent, teaching and unavailable in a period without a code, each
// in the first of these groups that fits; counted from the sparse keys when first asked.
const CoverPlanner::UncodedGroups& CoverPlanner::uncoded_groups(std::uint16_t period) {
    const auto counted = groups_by_uncoded_period_.find(period);
    if (counted != groups_by_uncoded_period_.end()) return counted->second;
    const PlanningInput& input = *input_;
    const PlanningPolicy& policy = input.policy;
    const auto in_period = [period](std::uint64_t key) { return (key & 0xffff) == period; };
    const auto holds = [](const std::vector<std::uint64_t>& keys, std::uint64_t key) {
        return std::binary_search(keys.begin(), keys.end(), key);
    };
    UncodedGroups groups;
    for (const std::uint64_t key : policy.uncoded_absent) groups.absent += in_period(key);
    for (const std::uint64_t key : input.uncoded_busy) {
        groups.teaching += in_period(key) && input.teachers[key >> 16].present && !holds(policy.uncoded_absent, key);
    }
    for (const std::uint64_t key : policy.uncoded_unavailable) {
        groups.unavailable += in_period(key) && !holds(input.uncoded_busy, key) && !holds(policy.uncoded_absent, key);
    }
    uncoded_searches_ += input.uncoded_busy.size() + policy.uncoded_absent.size() + policy.uncoded_unavailable.size();
    return groups_by_uncoded_period_.emplace(period, groups).first->second;
}

// The present teachers absent, teaching and unavailable in each period that some lesson is
// in, each in the first of these groups that fits.
void CoverPlanner::count_groups_by_code() {
    const PlanningInput& input = *input_;
    const PlanningPolicy& policy = input.policy;
    teaching_by_code_.fill(0);
    absent_by_code_.fill(0);
    unavailable_by_code_.fill(0);
    const auto count = [this](std::uint64_t codes, std::array<std::uint32_t, PeriodCodes::kMaxCodes>& by_code) {
        for (codes &= lesson_codes_; codes != 0; codes &= codes - 1) {
            ++by_code[static_cast<std::size_t>(std::countr_zero(codes))];
        }
    };
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        const PlanningTeacher& listed = input.teachers[teacher];
        if (!listed.present) continue;
        const TeacherLimits limits = policy.limits.empty() ? TeacherLimits{} : policy.limits[teacher];
        count(limits.absent, absent_by_code_);
        count(listed.busy & ~limits.absent, teaching_by_code_);
        count(limits.unavailable & ~limits.absent & ~listed.busy, unavailable_by_code_);
    }
    teaching_counted_ = true;
}

}  // namespace lessoncover
