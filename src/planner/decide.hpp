// Deciding cover: every absent lesson of a planning input gets exactly one decision.
#pragma once

#include <cstdint>
#include <vector>

#include "interruption.hpp"
#include "planner/candidate_pool.hpp"
#include "planner/plan.hpp"
#include "planner/period_set.hpp"
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
    //      both found for the lesson when the input is made (lesson_links.hpp);
    //   3. goes, when lessons are combined and it is not the first of the absent teacher's
    //      lessons in its period, to the first one's substitute, or stays uncovered with
    //      it, adding no cover (rule `combined`);
    //   4. goes, when doubles are kept, to the substitute of the absent teacher's lesson in
    //      the same class in the period before, else after, if decided already and that
    //      teacher can take it (rule `double_lesson`);
    //   5. goes to the present teacher of the lesson's subject who can take it and holds
    //      the fewest lessons, the earlier in list order on a tie (rule `subject`); else
    //   6. to the first present teacher in list order who can take it (rule `any`);
    //   7. to the first supply teacher, in the school's order, who can take it (rule
    //      `supply`); supply staff are never taken by 5 and 6, and a double kept by one
    //      is `supply` too;
    //   8. else to nobody, with the counts that say why (rule `uncovered`).
    // A teacher can take a lesson when free in its period (no lesson of its own, no cover
    // decided or pinned in this run, not absent, not unavailable) and under the policy's
    // cap. A cover, pinned ones included, adds one to the substitute's lessons and covers
    // (a combined set pinned to one substitute adds one). Steps 0-4 and the limits come
    // from the input's policy; without one, only 5-8 apply. Throws std::invalid_argument
    // on a teacher whose subject is not below the input's number of subjects.
    void decide(const PlanningInput& input, Plan& plan);
    // The same, counting the work on `check`: when it stops, so does deciding, and the
    // plan holds the decisions made so far.
    void decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check);

    // Makes room now for `present_teachers` candidates, writing it, so that a run finds
    // its memory in place (a school calls this as teachers are added).
    void make_room(std::size_t present_teachers) {
        if (run_.candidates.size() < present_teachers) run_.candidates.resize(present_teachers);
    }

private:
    // Who is kept from covering in a period by what the rules cannot change: present
    // teachers absent then, teaching then, unavailable then, each in the first group that
    // fits; and pinned substitutes who teach or are unavailable then, which count as
    // covering there instead.
    struct PeriodGroups {
        std::uint32_t absent = 0;
        std::uint32_t teaching = 0;
        std::uint32_t unavailable = 0;
        std::uint32_t pinned_teaching = 0;
        std::uint32_t pinned_unavailable = 0;
    };

    // Everything one run works with, made ready by start_run() alone. The vectors keep
    // their memory from run to run; nothing else carries over.
    struct RunState {
        const PlanningInput* input = nullptr;
        std::size_t words = 1;                     // words in a set of period codes
        std::vector<Candidate> candidates;         // pool by pool, each in list order
        // By candidate, words - 1 each: its busy set from code 64 on (Candidate::busy has the
        // first word); empty for a day of 64 codes or fewer.
        std::vector<std::uint64_t> busy_beyond;
        std::vector<std::uint64_t> set;            // scratch: one candidate's set, whole
        std::vector<std::size_t> subject_starts;   // where each subject's pool starts; one more at the end
        std::vector<std::size_t> next_place;       // scratch for the walk that places candidates
        std::vector<CandidatePool> pools;          // by subject
        std::vector<std::uint32_t> in_list_order;  // places in candidates, in list order
        std::vector<std::uint32_t> place_of_teacher;  // by place in the input: in candidates
        // By place in the input: a supply teacher's place in candidates, after every pool;
        // empty without supply staff.
        std::vector<std::uint32_t> supply_place;
        std::vector<std::uint64_t> lesson_codes;   // the codes some lesson is in, as a set
        // By code: where the first free teacher of the list may be (only moves forward), and
        // the covers decided in this run.
        std::vector<std::uint32_t> cursor_by_code;
        std::vector<std::uint32_t> supply_cursor_by_code;  // the same for supply staff; empty without
        std::vector<std::uint32_t> covers_by_code;
        // By code, counted when a lesson first goes uncovered.
        std::vector<PeriodGroups> groups_by_code;
        bool groups_counted = false;
        // Under a cap: covers given in this run, and whether the cap is reached, by
        // candidate; capped teachers free in a period (nothing else keeps them from
        // covering), by code. Empty without a cap.
        std::vector<std::uint32_t> covers_given;
        std::vector<std::uint8_t> capped;
        std::vector<std::uint32_t> capped_free_by_code;
        // With pins: the pinned substitute by lesson (or Decision::kNobody); else empty.
        std::vector<std::uint32_t> pinned_substitute;
    };

    void start_run(const PlanningInput& input, Plan& plan);
    Decision decide_lesson(std::uint32_t index, const PlanningLesson& lesson, const Plan& plan);
    Candidate* same_substitute_as(std::uint32_t neighbour, std::uint32_t index, const PlanningLesson& lesson,
                                  const Plan& plan);
    std::size_t place_of(const Candidate& candidate) const noexcept {
        return static_cast<std::size_t>(&candidate - run_.candidates.data());
    }
    bool is_busy(const Candidate& candidate, std::size_t code) const noexcept {
        if (code < 64) return ((candidate.busy >> code) & 1U) != 0;
        return has_code(busy_beyond(candidate), code - 64);
    }
    void mark_busy(Candidate& candidate, std::size_t code) noexcept {
        if (code < 64) {
            candidate.busy |= std::uint64_t{1} << code;
        } else {
            add_code(busy_beyond(candidate), code - 64);
        }
    }
    // The candidate's busy set from code 64 on.
    const std::uint64_t* busy_beyond(const Candidate& candidate) const noexcept {
        return run_.busy_beyond.data() + (run_.words - 1) * place_of(candidate);
    }
    std::uint64_t* busy_beyond(const Candidate& candidate) noexcept {
        return run_.busy_beyond.data() + (run_.words - 1) * place_of(candidate);
    }
    static constexpr std::uint32_t kNotSupply = static_cast<std::uint32_t>(-1);
    static bool is_supply(const Candidate& candidate) noexcept { return candidate.subject == Candidate::kSupply; }
    bool is_capped(const Candidate& candidate) const noexcept {
        return !run_.capped.empty() && run_.capped[place_of(candidate)] != 0;
    }
    bool can_take(const Candidate& candidate, const PlanningLesson& lesson) const noexcept {
        return !is_capped(candidate) && !is_busy(candidate, lesson.code);
    }
    void place_candidates();
    void start_caps();
    void retire(Candidate& candidate);
    Candidate* free_colleague(const PlanningLesson& lesson);
    Candidate* first_free_teacher(const PlanningLesson& lesson);
    Candidate* first_free_supply(const PlanningLesson& lesson);
    void take(Candidate& substitute, const PlanningLesson& lesson);
    void count_cover(Candidate& substitute);
    void apply_pins();
    void pin(Candidate& substitute, const PlanningLesson& lesson);
    Uncovered why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson);
    void count_groups();

    RunState run_;
};

}  // namespace lessoncover
