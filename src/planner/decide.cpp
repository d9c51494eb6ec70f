#include "planner/decide.hpp"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>

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
        case Rule::supply: return "supply";
        case Rule::uncovered: break;
    }
    return "uncovered";
}

void CoverPlanner::decide(const PlanningInput& input, Plan& plan) {
    InterruptionCheck never;
    decide(input, plan, never);
}

void CoverPlanner::decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check) {
    start_run(input, plan);
    for (std::size_t index = 0; index < input.lessons.size(); ++index) {
        constexpr std::size_t kLessonBlock = 1024;  // lessons counted a block at a time
        if (index % kLessonBlock == 0 && check.step(kLessonBlock)) return;
        const PlanningLesson& lesson = input.lessons[index];
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

// Makes everything the run works with ready, in this one place: what a run before left in
// the state is overwritten or cleared here.
void CoverPlanner::start_run(const PlanningInput& input, Plan& plan) {
    const std::size_t words = input.period_words;
    const auto refuse = [](const char* what) { throw std::invalid_argument(std::string("planning input: ") + what); };
    if (words != period_words_for(input.period_codes) || input.busy.size() != words * input.teachers.size()) {
        refuse("the busy periods do not fit the teachers and codes");
    }
    for (const std::vector<std::uint64_t>* limit : {&input.policy.absent, &input.policy.unavailable}) {
        if (!limit->empty() && limit->size() != input.busy.size()) refuse("the limits do not fit the teachers and codes");
    }
    RunState& run = run_;
    run.input = &input;
    run.words = words;
    plan.clear();
    plan.decisions.reserve(input.lessons.size());
    run.lesson_codes.assign(words, 0);
    for (const PlanningLesson& lesson : input.lessons) {
        if (lesson.code >= input.period_codes) refuse("a lesson's period has no code");
        add_code(run.lesson_codes.data(), lesson.code);
    }
    place_candidates();
    run.cursor_by_code.assign(input.period_codes, 0);
    run.supply_cursor_by_code.assign(input.supply_order.empty() ? 0 : input.period_codes, 0);
    run.covers_by_code.assign(input.period_codes, 0);
    run.groups_by_code.assign(input.period_codes, PeriodGroups{});
    run.groups_counted = false;
    start_caps();
    apply_pins();
}

// The one place where a lesson's cover is chosen, step by step as decide() lists them.
Decision CoverPlanner::decide_lesson(std::uint32_t index, const PlanningLesson& lesson, const Plan& plan) {
    if (!run_.pinned_substitute.empty() && run_.pinned_substitute[index] != Decision::kNobody) {
        return Decision{run_.pinned_substitute[index], Rule::pinned};  // booked by apply_pins()
    }
    const PlanningPolicy& policy = run_.input->policy;
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
                    return Decision{same->teacher, is_supply(*same) ? Rule::supply : Rule::double_lesson};
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
    if (Candidate* outsider = first_free_supply(lesson)) {
        take(*outsider, lesson);
        return Decision{outsider->teacher, Rule::supply};
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
    Candidate& candidate = run_.candidates[run_.place_of_teacher[substitute]];
    return can_take(candidate, lesson) ? &candidate : nullptr;
}

// The present teachers, pool by pool, each pool in list order, with each pool's bitsets;
// and the same places in list order, which the `any` rule walks.
void CoverPlanner::place_candidates() {
    // bench.py --size D, generate medians, 40 interleaved rounds: 4 → 1.66, 8 → 1.89, 16 → 1.74 ms (noise)
    constexpr std::size_t kWriteAhead = 8;  // candidates: three cache lines
    RunState& run = run_;
    const PlanningInput& input = *run.input;
    const PlanningPolicy& policy = input.policy;
    const std::size_t words = run.words;
    const std::size_t subjects = input.present_by_subject.size();
    run.subject_starts.assign(subjects + 1, 0);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        run.subject_starts[subject + 1] = run.subject_starts[subject] + input.present_by_subject[subject];
    }
    const std::size_t school_staff = run.subject_starts[subjects];
    const std::size_t present = school_staff + input.supply_order.size();
    run.candidates.resize(present);
    run.busy_beyond.resize(present * (words - 1));
    run.set.resize(words);
    run.in_list_order.clear();
    run.in_list_order.reserve(present);
    const bool by_teacher = policy.keep_doubles || !policy.pins.empty();  // who follows the teacher's place
    if (by_teacher) run.place_of_teacher.assign(input.teachers.size(), 0);
    run.next_place.assign(run.subject_starts.begin(), run.subject_starts.end() - 1);
    // Codes that no lesson is in are never asked about: the pools keep busy rows only up to
    // the last code some lesson is in.
    std::size_t rows = 0;
    for (std::size_t word = words; word-- > 0;) {
        if (run.lesson_codes[word] != 0) {
            rows = 64 * word + 64 - static_cast<std::size_t>(std::countl_zero(run.lesson_codes[word]));
            break;
        }
    }
    if (run.pools.size() < subjects) run.pools.resize(subjects);
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        run.pools[subject].start(input.present_by_subject[subject], rows);
    }
    const bool limited = !policy.absent.empty() || !policy.unavailable.empty();
    // Supply staff come after the pools, in the order the school gave them.
    std::size_t next_supply = school_staff;
    run.supply_place.assign(input.supply_order.empty() ? 0 : input.teachers.size(), kNotSupply);
    for (const std::uint32_t teacher : input.supply_order) {
        if (teacher >= input.teachers.size() || !input.teachers[teacher].present || !input.teachers[teacher].supply ||
            run.supply_place[teacher] != kNotSupply) {
            throw std::invalid_argument("planning input: the supply staff are not present supply teachers");
        }
        run.supply_place[teacher] = static_cast<std::uint32_t>(next_supply++);
    }
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        const PlanningTeacher& listed = input.teachers[teacher];
        if (!listed.present) continue;
        std::size_t place = 0;
        if (listed.supply) {
            if (run.supply_place.empty() || run.supply_place[teacher] == kNotSupply) {
                throw std::invalid_argument("planning input: a supply teacher is not in supply_order");
            }
            place = run.supply_place[teacher];
        } else {
            if (listed.subject >= subjects || run.next_place[listed.subject] == run.subject_starts[listed.subject + 1]) {
                throw std::invalid_argument("planning input: present teachers and their subjects disagree");
            }
            place = run.next_place[listed.subject]++;
            run.in_list_order.push_back(static_cast<std::uint32_t>(place));
        }
        if (by_teacher) run.place_of_teacher[teacher] = static_cast<std::uint32_t>(place);
        // Each pool is written front to back, but the pools side by side are more streams
        // than the hardware follows: each asks for its next lines itself.
        if (place + kWriteAhead < run.candidates.size()) __builtin_prefetch(&run.candidates[place + kWriteAhead], 1);
        // A teacher absent or unavailable in a period is, to the rules, busy then.
        std::uint64_t* busy = run.set.data();
        const std::uint64_t* teaching = input.busy_of(teacher);
        for (std::size_t word = 0; word < words; ++word) busy[word] = teaching[word];
        if (limited) {
            for (const std::vector<std::uint64_t>* limit : {&policy.absent, &policy.unavailable}) {
                if (limit->empty()) continue;
                for (std::size_t word = 0; word < words; ++word) busy[word] |= (*limit)[words * teacher + word];
            }
        }
        run.candidates[place] = Candidate{busy[0], listed.load, static_cast<std::uint32_t>(teacher),
                                          listed.supply ? Candidate::kSupply : std::uint32_t{listed.subject}};
        std::copy(busy + 1, busy + words, run.busy_beyond.begin() + static_cast<std::ptrdiff_t>((words - 1) * place));
        if (!listed.supply) run.pools[listed.subject].append(listed.load, busy);
    }
    for (std::size_t subject = 0; subject < subjects; ++subject) {
        if (run.next_place[subject] != run.subject_starts[subject + 1]) {
            throw std::invalid_argument("planning input: present teachers and their subjects disagree");
        }
        run.pools[subject].finish_appending();
    }
}

// Under a cap, every candidate starts with no covers; a cap of 0 retires them all at once.
void CoverPlanner::start_caps() {
    RunState& run = run_;
    const std::uint32_t cap = run.input->policy.max_covers;
    run.capped_free_by_code.clear();
    if (cap == PlanningPolicy::kNoCap) {
        run.covers_given.clear();
        run.capped.clear();
        return;
    }
    run.covers_given.assign(run.candidates.size(), 0);
    run.capped.assign(run.candidates.size(), 0);
    run.capped_free_by_code.assign(run.input->period_codes, 0);
    if (cap == 0) {
        for (Candidate& candidate : run.candidates) retire(candidate);
    }
}

// The candidate has given as many covers as the cap allows: it is never chosen again, and
// is counted, in the lessons' periods it is free in, as at the cap.
void CoverPlanner::retire(Candidate& candidate) {
    RunState& run = run_;
    const std::size_t place = place_of(candidate);
    run.capped[place] = 1;
    if (!is_supply(candidate)) {
        run.pools[candidate.subject].remove(place - run.subject_starts[candidate.subject], candidate.load);
    }
    const std::uint64_t* beyond = busy_beyond(candidate);
    for (std::size_t word = 0; word < run.words; ++word) {
        const std::uint64_t busy = word == 0 ? candidate.busy : beyond[word - 1];
        for (std::uint64_t free = run.lesson_codes[word] & ~busy; free != 0; free &= free - 1) {
            ++run.capped_free_by_code[64 * word + static_cast<std::size_t>(std::countr_zero(free))];
        }
    }
}

// The free present teacher of the lesson's subject with the fewest lessons, the earlier in
// list order on equal counts. A subject nobody present teaches has no one.
Candidate* CoverPlanner::free_colleague(const PlanningLesson& lesson) {
    RunState& run = run_;
    if (lesson.subject >= run.input->present_by_subject.size()) return nullptr;
    std::size_t member = 0;
    if (!run.pools[lesson.subject].first_free(lesson.code, member)) return nullptr;
    return run.candidates.data() + run.subject_starts[lesson.subject] + member;
}

// The first present teacher of the list who can take the lesson. A teacher who cannot take
// a lesson in a period never can for the rest of the run, so each period's cursor only
// moves forward.
Candidate* CoverPlanner::first_free_teacher(const PlanningLesson& lesson) {
    RunState& run = run_;
    std::uint32_t& cursor = run.cursor_by_code[lesson.code];
    while (cursor < run.in_list_order.size() && !can_take(run.candidates[run.in_list_order[cursor]], lesson)) ++cursor;
    return cursor < run.in_list_order.size() ? &run.candidates[run.in_list_order[cursor]] : nullptr;
}

// The first supply teacher, in the school's order, who can take the lesson; each period's
// cursor only moves forward, as in first_free_teacher().
Candidate* CoverPlanner::first_free_supply(const PlanningLesson& lesson) {
    RunState& run = run_;
    const std::size_t supply_start = run.subject_starts.back();
    if (supply_start == run.candidates.size()) return nullptr;
    std::uint32_t& cursor = run.supply_cursor_by_code[lesson.code];
    while (supply_start + cursor < run.candidates.size() && !can_take(run.candidates[supply_start + cursor], lesson)) {
        ++cursor;
    }
    return supply_start + cursor < run.candidates.size() ? &run.candidates[supply_start + cursor] : nullptr;
}

// Books the substitute for the lesson: from now on busy in the period, with one lesson
// more (a new one, since the substitute was free then).
void CoverPlanner::take(Candidate& substitute, const PlanningLesson& lesson) {
    RunState& run = run_;
    mark_busy(substitute, lesson.code);
    ++run.covers_by_code[lesson.code];
    if (!is_supply(substitute)) {
        const std::size_t member = place_of(substitute) - run.subject_starts[substitute.subject];
        run.pools[substitute.subject].add_lesson(member, substitute.load, lesson.code);
    }
    count_cover(substitute);
}

// One lesson and one cover more for the substitute, retired when that reaches the cap.
void CoverPlanner::count_cover(Candidate& substitute) {
    substitute.load += 1;
    if (!run_.covers_given.empty() && ++run_.covers_given[place_of(substitute)] == run_.input->policy.max_covers) {
        retire(substitute);
    }
}

// Books every pinned cover before any rule runs, so that the rules see the substitutes
// busy then, their loads and their covers towards the cap.
void CoverPlanner::apply_pins() {
    RunState& run = run_;
    const PlanningInput& input = *run.input;
    if (input.policy.pins.empty()) {
        run.pinned_substitute.clear();
        return;
    }
    run.pinned_substitute.assign(input.lessons.size(), Decision::kNobody);
    for (const PlanningPin& fixed : input.policy.pins) {
        run.pinned_substitute[fixed.lesson] = fixed.substitute;
        if (fixed.books) pin(run.candidates[run.place_of_teacher[fixed.substitute]], input.lessons[fixed.lesson]);
    }
}

// Books a pinned cover, which may break what the rules keep to: the substitute may teach
// or be unavailable then (it counts as covering there instead), or be at the cap already
// (retired, so out of its pool: only its own counts change).
void CoverPlanner::pin(Candidate& substitute, const PlanningLesson& lesson) {
    RunState& run = run_;
    const PlanningInput& input = *run.input;
    const std::size_t teacher = substitute.teacher;
    PeriodGroups& groups = run.groups_by_code[lesson.code];
    if (has_code(input.busy_of(teacher), lesson.code)) {
        ++groups.pinned_teaching;
    } else if (!input.policy.unavailable.empty() &&
               has_code(input.policy.unavailable.data() + run.words * teacher, lesson.code)) {
        ++groups.pinned_unavailable;
    }
    if (!is_capped(substitute)) {
        take(substitute, lesson);
        return;
    }
    // Counted as at the cap in the periods it was free when retired: no longer in this one.
    if (!is_busy(substitute, lesson.code)) --run.capped_free_by_code[lesson.code];
    mark_busy(substitute, lesson.code);
    ++run.covers_by_code[lesson.code];
    count_cover(substitute);
}

// Nobody could take the lesson: of the teachers present in its period (those absent only
// part of the day count where they are present), each in the first group that keeps it
// from covering: teaching, covering, unavailable, at the cap. Without a policy the last
// two are empty.
Uncovered CoverPlanner::why_uncovered(std::uint32_t lesson_index, const PlanningLesson& lesson) {
    RunState& run = run_;
    if (!run.groups_counted) count_groups();
    const PeriodGroups& groups = run.groups_by_code[lesson.code];
    Uncovered why{lesson_index, static_cast<std::uint32_t>(run.candidates.size()), 0, 0, 0, 0};
    why.present_teachers -= groups.absent;
    why.busy_teaching = groups.teaching - groups.pinned_teaching;
    why.busy_covering = run.covers_by_code[lesson.code];
    why.busy_unavailable = groups.unavailable - groups.pinned_unavailable;
    why.at_cap = run.capped_free_by_code.empty() ? 0 : run.capped_free_by_code[lesson.code];
    return why;
}

// The present teachers absent, teaching and unavailable in each period that some lesson is
// in, each in the first of these groups that fits.
void CoverPlanner::count_groups() {
    RunState& run = run_;
    const PlanningInput& input = *run.input;
    const PlanningPolicy& policy = input.policy;
    const std::size_t words = run.words;
    const auto count = [&](std::size_t word, std::uint64_t codes, std::uint32_t PeriodGroups::*group) {
        for (codes &= run.lesson_codes[word]; codes != 0; codes &= codes - 1) {
            ++(run.groups_by_code[64 * word + static_cast<std::size_t>(std::countr_zero(codes))].*group);
        }
    };
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        if (!input.teachers[teacher].present) continue;
        const std::uint64_t* busy = input.busy_of(teacher);
        for (std::size_t word = 0; word < words; ++word) {
            const std::uint64_t absent = policy.absent.empty() ? 0 : policy.absent[words * teacher + word];
            const std::uint64_t unavailable = policy.unavailable.empty() ? 0 : policy.unavailable[words * teacher + word];
            count(word, absent, &PeriodGroups::absent);
            count(word, busy[word] & ~absent, &PeriodGroups::teaching);
            count(word, unavailable & ~absent & ~busy[word], &PeriodGroups::unavailable);
        }
    }
    run.groups_counted = true;
}

}  // namespace lessoncover
