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
    // Decides the lessons of `input` into `plan`. First the policy's pins: each pinned
    // lesson goes to its substitute (rule `pinned`), booked as a cover from the start, even
    // where the rules would not put it (teaching, unavailable, at the cap then). Then each
    // lesson, in order:
    //   0. goes to its pinned substitute, when it has one; else it
    //   1. needs no cover when its class is away (rule `away`), or
    //   2. when a teacher present then teaches the class then too (rule `co_taught`);
    //      both are marked on the lesson when the input is made;
    //   3. goes, when lessons are combined and it is not the first of the absent teacher's
    //      lessons in its period, to the first one's substitute, or stays uncovered with
    //      it, adding no cover (rule `combined`);
    //   4. goes, when doubles are kept, to the substitute of the absent teacher's lesson in
    //      the same class in the period before, else after, if decided already and that
    //      teacher can take it (rule `double_lesson`);
    //   5. goes to the present teacher of the lesson's subject who can take it and holds
    //      the fewest lessons, the earlier in list order on a tie (rule `subject`); else
    //   6. to the first present teacher in list order who can take it (rule `any`);
    //   7. else to nobody, with the counts that say why (rule `uncovered`).
    // A teacher can take a lesson when free in its period (no lesson of its own, no cover
    // decided or pinned in this run, not absent, not unavailable) and under the policy's
    // cap. A cover, pinned ones included, adds one to the substitute's lessons and covers
    // (a combined set pinned to one substitute adds one). Steps 0-4 and the limits come
    // from the input's policy; without one, only 5-7 apply. Throws std::invalid_argument
    // on a teacher whose subject is not below the input's number of subjects.
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
    Decision decide_lesson(std::uint32_t index, const PlanningLesson& lesson, const Plan& plan);
    Candidate* same_substitute_as(std::uint32_t neighbour, std::uint32_t index, const PlanningLesson& lesson,
                                  const Plan& plan);
    bool can_take(const Candidate& candidate, const PlanningLesson& lesson) const;
    bool is_capped(const Candidate& candidate) const noexcept {
        return !capped_.empty() && capped_[static_cast<std::size_t>(&candidate - candidates_.data())] != 0;
    }
    void retire(Candidate& candidate);
    Candidate* free_colleague(const PlanningLesson& lesson);
    Candidate* first_free_teacher(const PlanningLesson& lesson);
    bool is_busy(const Candidate& candidate, const PlanningLesson& lesson) const;
    void take(Candidate& substitute, const PlanningLesson& lesson);
    void apply_pins();
    void pin(Candidate& substitute, const PlanningLesson& lesson);
    std::uint64_t book_period(const Candidate& substitute, const PlanningLesson& lesson);
    void count_cover(Candidate& substitute, std::uint64_t busy);
    Uncovered why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson);
    struct UncodedGroups {
        std::uint32_t absent = 0;
        std::uint32_t teaching = 0;
        std::uint32_t unavailable = 0;
    };
    const UncodedGroups& uncoded_groups(std::uint16_t period);
    void count_groups_by_code();
    void place_candidates();
    void start_caps();
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
    // Present teachers absent, teaching and unavailable, by period, each in the first of
    // these groups that fits; counted when first asked for.
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> absent_by_code_{};
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> teaching_by_code_{};
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> unavailable_by_code_{};
    bool teaching_counted_ = false;
    std::unordered_map<std::uint16_t, UncodedGroups> groups_by_uncoded_period_;
    std::vector<std::uint32_t> place_of_teacher_;  // by place in the input: in candidates_
    // Under a cap: covers given in this run, and whether the cap is reached, by candidate.
    std::vector<std::uint32_t> covers_given_;
    std::vector<std::uint8_t> capped_;
    std::vector<std::uint32_t> capped_in_order_;  // candidates that reached the cap
    // Capped teachers free in a period (nothing else keeps them from covering), by code.
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> capped_free_by_code_{};
    // With pins: the pinned substitute by lesson (or Decision::kNobody), and the pinned
    // substitutes who teach or are unavailable in the period they cover, which count as
    // covering there rather than in the groups the input puts them in.
    std::vector<std::uint32_t> pinned_substitute_;
    struct PinnedOver {
        std::uint32_t teaching = 0;
        std::uint32_t unavailable = 0;
    };
    std::array<PinnedOver, PeriodCodes::kMaxCodes> pinned_over_by_code_{};
    std::unordered_map<std::uint16_t, PinnedOver> pinned_over_by_uncoded_period_;
};

}  // namespace lessoncover
