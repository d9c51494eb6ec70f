#include "planner/decide.hpp"

#include <algorithm>
#include <bit>
#include <span>
#include <stdexcept>
#include <utility>

namespace lessoncover {

std::string_view rule_name(Rule rule) noexcept {
    switch (rule) {
        case Rule::subject: return "subject";
        case Rule::any: return "any";
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
    teaching_by_uncoded_period_.clear();
    uncoded_searches_ = 0;

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
        Rule rule = Rule::subject;
        Candidate* substitute = free_colleague(lesson);
        if (substitute == nullptr) {
            rule = Rule::any;
            substitute = first_free_teacher(lesson);
        }
        if (substitute == nullptr) {
            plan.decisions.push_back(Decision{Decision::kNobody, Rule::uncovered});
            plan.uncovered.push_back(why_uncovered(static_cast<std::uint32_t>(index), lesson));
            continue;
        }
        take(*substitute, lesson);
        plan.decisions.push_back(Decision{substitute->teacher, rule});
        ++plan.covered;
    }
}

// The present teachers, pool by pool, each pool in list order; then each pool's bitsets.
void CoverPlanner::place_candidates() {
    const PlanningInput& input = *input_;
    const std::size_t subjects = input.present_by_subject.size();
    subject_starts_.assign(subjects + 1, 0);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        subject_starts_[subject + 1] = subject_starts_[subject] + input.present_by_subject[subject];
    }
    candidates_.resize(subject_starts_[subjects]);
    next_place_.assign(subject_starts_.begin(), subject_starts_.end() - 1);
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        const PlanningTeacher& listed = input.teachers[teacher];
        if (!listed.present) continue;
        if (listed.subject >= subjects || next_place_[listed.subject] == subject_starts_[listed.subject + 1]) {
            throw std::invalid_argument("planning input: present teachers and their subjects disagree");
        }
        candidates_[next_place_[listed.subject]++] =
            Candidate{listed.busy, listed.load, static_cast<std::uint32_t>(teacher), listed.subject};
    }
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        if (next_place_[subject] != subject_starts_[subject + 1]) {
            throw std::invalid_argument("planning input: present teachers and their subjects disagree");
        }
    }
    // Codes that no lesson is in are never asked about: the pools keep busy rows only up to
    // the last code asked.
    const auto rows = static_cast<std::size_t>(64 - std::countl_zero(lesson_codes_));
    if (pools_.size() < subjects) pools_.resize(subjects);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        pools_[subject].assign(std::span<const Candidate>(candidates_).subspan(
                                   subject_starts_[subject], subject_starts_[subject + 1] - subject_starts_[subject]),
                               rows);
    }
}

bool CoverPlanner::is_busy(const Candidate& candidate, const PlanningLesson& lesson) const {
    if (lesson.code != PeriodCodes::kNoCode) return (candidate.busy >> lesson.code) & 1U;
    const std::uint64_t key = PlanningInput::uncoded_key(candidate.teacher, lesson.period);
    ++uncoded_searches_;
    return std::binary_search(input_->uncoded_busy.begin(), input_->uncoded_busy.end(), key) ||
           uncoded_covers_.contains(key);
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

// The first present teacher of the list who is free in the lesson's period. A teacher
// busy in a period stays busy for the rest of the run, so each period's cursor only moves
// forward.
Candidate* CoverPlanner::first_free_teacher(const PlanningLesson& lesson) {
    if (!listed_in_order_) list_candidates_in_order();
    std::uint32_t& cursor = lesson.code != PeriodCodes::kNoCode
                                ? cursor_by_code_[lesson.code]
                                : cursor_by_uncoded_period_[static_cast<std::uint16_t>(lesson.period)];
    while (cursor < in_list_order_.size() && is_busy(candidates_[in_list_order_[cursor]], lesson)) ++cursor;
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
    std::uint64_t busy = 0;
    if (lesson.code != PeriodCodes::kNoCode) {
        busy = std::uint64_t{1} << lesson.code;
        ++covers_by_code_[lesson.code];
    } else {
        uncoded_covers_.insert(PlanningInput::uncoded_key(substitute.teacher, lesson.period));
        ++covers_by_uncoded_period_[static_cast<std::uint16_t>(lesson.period)];
    }
    const std::size_t member = static_cast<std::size_t>(&substitute - candidates_.data()) - subject_starts_[substitute.subject];
    pools_[substitute.subject].add_lesson(member, substitute.load, busy);
    substitute.load += 1;
    substitute.busy |= busy;
}

// Nobody was free: every present teacher teaches in that period or covers in it.
Uncovered CoverPlanner::why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson) {
    const PlanningInput& input = *input_;
    const auto period = static_cast<std::uint16_t>(lesson.period);
    std::uint32_t teaching = 0;
    std::uint32_t covering = 0;
    if (lesson.code != PeriodCodes::kNoCode) {
        if (!teaching_counted_) {
            teaching_by_code_.fill(0);
            for (const PlanningTeacher& listed : input.teachers) {
                if (!listed.present) continue;
                for (std::uint64_t busy = listed.busy & lesson_codes_; busy != 0; busy &= busy - 1) {
                    ++teaching_by_code_[static_cast<std::size_t>(std::countr_zero(busy))];
                }
            }
            teaching_counted_ = true;
        }
        teaching = teaching_by_code_[lesson.code];
        covering = covers_by_code_[lesson.code];
    } else {
        const auto counted = teaching_by_uncoded_period_.find(period);
        if (counted != teaching_by_uncoded_period_.end()) {
            teaching = counted->second;
        } else {
            for (const std::uint64_t key : input.uncoded_busy) {
                if ((key & 0xffff) == period && input.teachers[key >> 16].present) ++teaching;
            }
            uncoded_searches_ += input.uncoded_busy.size();
            teaching_by_uncoded_period_.emplace(period, teaching);
        }
        covering = covers_by_uncoded_period_[period];
    }
    return Uncovered{lesson_index, static_cast<std::uint32_t>(candidates_.size()), teaching, covering};
}

}  // namespace lessoncover
