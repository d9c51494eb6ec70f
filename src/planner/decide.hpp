// Deciding cover: every absent lesson of a planning input gets exactly one decision.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "interruption.hpp"
#include "planner/candidate_pool.hpp"
#include "planner/plan.hpp"
#include "planner/planning_input.hpp"

namespace lessoncover {

// Keeps its working memory between runs, so a school that plans again finds it in place.
class CoverPlanner {
public:
    // Decides the lessons of `input`, in order, into `plan`. Each lesson goes to
    //   1. the present teacher of the lesson's subject who is free in its period and holds
    //      the fewest lessons, the earlier in list order on a tie (rule `subject`); else
    //   2. the first present teacher in list order who is free in that period (rule `any`);
    //   3. else nobody, with the counts that say why.
    // "Free" counts the covers already decided in this run, and a cover adds one to the
    // substitute's lessons. Throws std::invalid_argument on a teacher whose subject is not
    // below the input's number of subjects.
    void decide(const PlanningInput& input, Plan& plan);
    // The same, counting the work on `check`: when it stops, so does deciding, and the
    // plan holds the decisions made so far.
    void decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check);

    // Makes room now for `present_teachers` candidates, writing it, so that a run finds
    // its memory in place (a school calls this as teachers are added).
    void make_room(std::size_t present_teachers) {
        if (candidates_.size() < present_teachers) candidates_.resize(present_teachers);
    }

private:
    Candidate* free_colleague(const PlanningLesson& lesson);
    Candidate* first_free_teacher(const PlanningLesson& lesson);
    bool is_busy(const Candidate& candidate, const PlanningLesson& lesson) const;
    void take(Candidate& substitute, const PlanningLesson& lesson);
    Uncovered why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson);
    void place_candidates();
    void list_candidates_in_order();

    const PlanningInput* input_ = nullptr;
    std::vector<Candidate> candidates_;         // pool by pool, each in list order
    std::vector<std::size_t> subject_starts_;   // where each subject's pool starts; one more at the end
    std::vector<std::size_t> next_place_;       // scratch for the walks that place candidates
    std::vector<CandidatePool> pools_;          // by subject
    std::vector<std::uint32_t> in_list_order_;  // places in candidates_, in list order
    bool listed_in_order_ = false;
    std::uint64_t lesson_codes_ = 0;            // bit c: some lesson is in the period of code c
    // Where the first free teacher of the list may be, by period: only moves forward.
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> cursor_by_code_{};
    std::unordered_map<std::uint16_t, std::uint32_t> cursor_by_uncoded_period_;
    // Covers decided in this run, by period.
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> covers_by_code_{};
    std::unordered_map<std::uint16_t, std::uint32_t> covers_by_uncoded_period_;
    std::unordered_set<std::uint64_t> uncoded_covers_;  // keys as PlanningInput::uncoded_key
    // Searches for a teacher's lesson in a period without a code since last counted: the
    // work of such a lesson grows with the candidates looked at.
    mutable std::uint64_t uncoded_searches_ = 0;
    // Present teachers holding a lesson, by period; counted when first asked for.
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> teaching_by_code_{};
    bool teaching_counted_ = false;
    std::unordered_map<std::uint16_t, std::uint32_t> teaching_by_uncoded_period_;
};

}  // namespace lessoncover
