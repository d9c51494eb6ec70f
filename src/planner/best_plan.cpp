#include "planner/best_plan.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "planner/period_set.hpp"

namespace lessoncover {
namespace {

constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);

// The costs of a cover, by level of the flow's tuples.
enum Level : std::size_t {
    lessons_missed,  // of a unit: lessons fewer than the largest unit has
    supply_cover,
    not_subject,
    load_squares,    // what a teacher's next cover adds to the sum of squares
    not_known,       // the substitute teaches none of the unit's classes that day
};

LexCost cost_at(Level level, std::int64_t value) {
    LexCost cost;
    cost.level[level] = value;
    return cost;
}

}  // namespace

void BestPlanner::decide(const PlanningInput& input, Plan& plan) {
    InterruptionCheck never;
    decide(input, plan, never);
}

void BestPlanner::decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check) {
    plan.clear();
    read_day(input);
    if (!plan_units(check)) return;
    if (input.policy.keep_doubles) {
        if (!keep_doubles(check)) return;
        // The doubles kept are fixed, and the flow plans the rest again under them.
        bool fixed_any = false;
        for (std::size_t lesson = 0; lesson < input.lessons.size(); ++lesson) {
            const std::uint32_t unit = unit_of_lesson_[lesson];
            if (unit == kNone || double_kept_[lesson] == kNone || substitute_[unit] == kNone) continue;
            const std::uint32_t teacher = substitute_[unit];
            fixed_of_lesson_[lesson] = teacher;
            ++fixed_covers_[teacher];
            add_code(busy_.data() + words_ * teacher, units_[unit].code);
            fixed_any = true;
        }
        if (fixed_any) {
            std::vector<Unit> kept;
            for (const Unit& unit : units_) {
                if (fixed_of_lesson_[unit.lesson] == kNone) {
                    unit_of_lesson_[unit.lesson] = static_cast<std::uint32_t>(kept.size());
                    kept.push_back(unit);
                } else {
                    unit_of_lesson_[unit.lesson] = kNone;
                }
            }
            units_ = std::move(kept);
            if (!plan_units(check)) return;
        }
    }
    write_plan(plan);
}

// The units to plan, and who is kept from covering when: teaching, absent, unavailable,
// or booked by a pin.
void BestPlanner::read_day(const PlanningInput& input) {
    input_ = &input;
    words_ = input.period_words;
    if (words_ != period_words_for(input.period_codes) || input.busy.size() != words_ * input.teachers.size()) {
        throw std::invalid_argument("planning input: the busy periods do not fit the teachers and codes");
    }
    const PlanningPolicy& policy = input.policy;
    busy_ = input.busy;
    for (const std::vector<std::uint64_t>* limit : {&policy.absent, &policy.unavailable}) {
        if (limit->empty()) continue;
        if (limit->size() != busy_.size()) throw std::invalid_argument("planning input: the limits do not fit");
        for (std::size_t word = 0; word < busy_.size(); ++word) busy_[word] |= (*limit)[word];
    }
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        if (!input.teachers[teacher].present) std::fill_n(busy_.begin() + static_cast<std::ptrdiff_t>(words_ * teacher), words_, ~0ULL);
    }
    const std::size_t lessons = input.lessons.size();
    fixed_of_lesson_.assign(lessons, kNone);
    fixed_covers_.assign(input.teachers.size(), 0);
    for (const PlanningPin& pin : policy.pins) {
        fixed_of_lesson_[pin.lesson] = pin.substitute;
        if (!pin.books) continue;
        ++fixed_covers_[pin.substitute];
        add_code(busy_.data() + words_ * pin.substitute, input.lessons[pin.lesson].code);
    }
    double_kept_.assign(lessons, kNone);
    units_.clear();
    knows_.clear();
    unit_of_lesson_.assign(lessons, kNone);
    std::vector<std::vector<std::uint32_t>> unit_knows;
    const bool know = !input.knows_starts.empty();
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const PlanningLesson& planned = input.lessons[lesson];
        if (planned.code >= input.period_codes) throw std::invalid_argument("planning input: a lesson's period has no code");
        if (fixed_of_lesson_[lesson] != kNone) continue;
        if (!policy.lessons.empty()) {
            const LessonLinks& links = policy.lessons[lesson];
            if (links.need != LessonNeed::cover) continue;
            if (policy.combined_lessons && links.leader != LessonLinks::kNone) {
                // A follower goes with its set's first lesson: one cover, more lessons.
                const std::uint32_t leader = unit_of_lesson_[links.leader];
                if (leader != kNone) {
                    ++units_[leader].size;
                    if (know) {
                        unit_knows[leader].insert(unit_knows[leader].end(), input.knows.begin() + input.knows_starts[lesson],
                                                  input.knows.begin() + input.knows_starts[lesson + 1]);
                    }
                }
                continue;
            }
        }
        unit_of_lesson_[lesson] = static_cast<std::uint32_t>(units_.size());
        units_.push_back(Unit{static_cast<std::uint32_t>(lesson), planned.code, planned.subject, 1, 0, 0});
        unit_knows.emplace_back();
        if (know) {
            unit_knows.back().assign(input.knows.begin() + input.knows_starts[lesson],
                                     input.knows.begin() + input.knows_starts[lesson + 1]);
        }
    }
    for (std::size_t unit = 0; unit < units_.size(); ++unit) {
        std::vector<std::uint32_t>& knowing = unit_knows[unit];
        std::sort(knowing.begin(), knowing.end());
        knowing.erase(std::unique(knowing.begin(), knowing.end()), knowing.end());
        units_[unit].knows_start = static_cast<std::uint32_t>(knows_.size());
        knows_.insert(knows_.end(), knowing.begin(), knowing.end());
        units_[unit].knows_end = static_cast<std::uint32_t>(knows_.size());
    }
}

bool BestPlanner::free_in(std::uint32_t teacher, std::size_t code) const {
    return !has_code(busy_.data() + words_ * teacher, code);
}

// One flow over the units under a bound on the loads (kNoBound for none). Without every
// level, only the levels 1-4 that the search for the bound compares are costed, and the
// substitutes are not read.
bool BestPlanner::solve(std::uint32_t bound, bool every_level, Solved& solved, InterruptionCheck& check) {
    const PlanningInput& input = *input_;
    const std::size_t teachers = input.teachers.size();
    const std::uint32_t cap = input.policy.max_covers;
    constexpr LexFlow::Node source = 0;
    constexpr LexFlow::Node sink = 1;
    std::uint32_t nodes = 2 + static_cast<std::uint32_t>(units_.size());
    const std::size_t subjects = input.present_by_subject.size();

    // Hubs: one per (code, subject) and per code for anyone, for the codes and subjects of
    // the units; (teacher, code) nodes for the free teachers then; teacher nodes.
    std::vector<std::size_t> codes_in_use;
    for (const Unit& unit : units_) codes_in_use.push_back(unit.code);
    std::sort(codes_in_use.begin(), codes_in_use.end());
    codes_in_use.erase(std::unique(codes_in_use.begin(), codes_in_use.end()), codes_in_use.end());
    const auto position = [&](std::size_t code) {
        return static_cast<std::size_t>(std::lower_bound(codes_in_use.begin(), codes_in_use.end(), code) - codes_in_use.begin());
    };
    // Hubs by (position of the code, subject); `subjects` for anyone's.
    std::unordered_map<std::uint64_t, std::uint32_t> hubs;
    const auto hub_key = [&](std::size_t at, std::size_t subject) { return (std::uint64_t{at} << 32) | std::min(subject, subjects); };
    const auto hub_at = [&](std::size_t at, std::size_t subject) {
        const auto found = hubs.find(hub_key(at, subject));
        return found == hubs.end() ? kNone : found->second;
    };
    for (const Unit& unit : units_) {
        const std::size_t at = position(unit.code);
        for (const std::size_t subject : {subjects, std::size_t{unit.subject}}) {
            if (hubs.try_emplace(hub_key(at, subject), nodes).second) ++nodes;
        }
    }
    std::vector<std::uint32_t> teacher_node(teachers, kNone);
    std::vector<std::uint32_t> slot_node(teachers * codes_in_use.size(), kNone);  // [teacher * used + at]
    std::vector<std::uint32_t> slot_teacher;
    std::vector<std::uint32_t> slots_of(teachers, 0);
    // A teacher free in one period only needs no node for it: the teacher's own node
    // takes one cover at most.
    for (std::size_t teacher = 0; teacher < teachers; ++teacher) {
        std::uint32_t* slot = slot_node.data() + teacher * codes_in_use.size();
        for (std::size_t at = 0; at < codes_in_use.size(); ++at) {
            if (!free_in(static_cast<std::uint32_t>(teacher), codes_in_use[at])) continue;
            slot[at] = nodes++;
            ++slots_of[teacher];
        }
        if (slots_of[teacher] == 1) {
            teacher_node[teacher] = *std::find_if(slot, slot + codes_in_use.size(), [](std::uint32_t node) { return node != kNone; });
        } else if (slots_of[teacher] > 1) {
            teacher_node[teacher] = nodes++;
        }
    }
    slot_teacher.assign(nodes, kNone);
    sink_arcs_.clear();
    flow_.reset(nodes);
    std::size_t slots = 0;
    for (const std::uint32_t count : slots_of) slots += count;
    flow_.reserve(units_.size() * 3 + knows_.size() + slots * 4 + teachers);

    std::uint32_t largest = 1;
    for (const Unit& unit : units_) largest = std::max(largest, unit.size);
    unit_arcs_.resize(units_.size());
    for (std::size_t index = 0; index < units_.size(); ++index) {
        const Unit& unit = units_[index];
        const auto node = static_cast<LexFlow::Node>(2 + index);
        unit_arcs_[index] = flow_.add_arc(source, node, 1, cost_at(lessons_missed, largest - unit.size));
        const LexCost unknown = every_level ? cost_at(not_known, 1) : LexCost{};
        const std::size_t at = position(unit.code);
        if (unit.subject < subjects) flow_.add_arc(node, hub_at(at, unit.subject), 1, unknown);
        flow_.add_arc(node, hub_at(at, subjects), 1, unknown + cost_at(not_subject, 1));
        if (!every_level) continue;
        for (std::uint32_t k = unit.knows_start; k < unit.knows_end; ++k) {
            const std::uint32_t teacher = knows_[k];
            const std::uint32_t slot = slot_node[teacher * codes_in_use.size() + at];
            if (slot == kNone) continue;
            const PlanningTeacher& listed = input.teachers[teacher];
            const bool subject = !listed.supply && listed.subject == unit.subject;
            flow_.add_arc(node, slot, 1, cost_at(not_subject, subject ? 0 : 1));
        }
    }
    for (std::size_t teacher = 0; teacher < teachers; ++teacher) {
        if (teacher_node[teacher] == kNone) continue;
        const PlanningTeacher& listed = input.teachers[teacher];
        for (std::size_t at = 0; at < codes_in_use.size(); ++at) {
            const std::uint32_t slot = slot_node[teacher * codes_in_use.size() + at];
            if (slot == kNone) continue;
            slot_teacher[slot] = static_cast<std::uint32_t>(teacher);
            flow_.add_arc(hub_at(at, subjects), slot, 1, LexCost{});
            if (!listed.supply && listed.subject < subjects && hub_at(at, listed.subject) != kNone) {
                flow_.add_arc(hub_at(at, listed.subject), slot, 1, LexCost{});
            }
            if (slot != teacher_node[teacher]) flow_.add_arc(slot, teacher_node[teacher], 1, LexCost{});
        }
        // Covers the teacher may still give: the cap, the bound on the load, the free periods.
        const std::uint64_t fixed = fixed_covers_[teacher];
        const std::uint64_t base = (input.prior.empty() ? 0 : input.prior[teacher]) + fixed;
        std::uint64_t room = slots_of[teacher];
        if (cap != PlanningPolicy::kNoCap) room = std::min<std::uint64_t>(room, cap > fixed ? cap - fixed : 0);
        if (bound != kNoBound) room = std::min<std::uint64_t>(room, bound > base ? bound - base : 0);
        if (room == 0) continue;
        const LexCost supply = cost_at(supply_cover, listed.supply ? 1 : 0);
        if (!every_level) {
            sink_arcs_.emplace_back(static_cast<std::uint32_t>(teacher),
                                    flow_.add_arc(teacher_node[teacher], sink, static_cast<std::int32_t>(room), supply));
            continue;
        }
        // The k-th cover adds (base + k)^2 - (base + k - 1)^2 to the sum of squares: more
        // each time, so the flow takes the cheaper ones first.
        for (std::uint64_t k = 1; k <= room; ++k) {
            flow_.add_arc(teacher_node[teacher], sink, 1,
                          supply + cost_at(load_squares, static_cast<std::int64_t>(2 * (base + k) - 1)));
        }
    }
    if (!flow_.solve(source, sink, check)) return false;
    solved.units = flow_.total_flow();
    solved.cost = flow_.total_cost();
    if (!every_level) {
        solved.largest_load = 0;
        for (const auto& [teacher, arc] : sink_arcs_) {
            const std::uint32_t covers = fixed_covers_[teacher] + static_cast<std::uint32_t>(flow_.flow(arc));
            if (covers == 0) continue;
            const std::uint32_t prior = input.prior.empty() ? 0 : input.prior[teacher];
            solved.largest_load = std::max(solved.largest_load, prior + covers);
        }
        return true;
    }

    // Each unit's substitute. A hub passes units on in any pairing (its arcs cost nothing
    // and every teacher behind it takes any of its units): they are paired in order.
    substitute_.assign(units_.size(), kNone);
    std::vector<std::vector<std::uint32_t>> waiting(nodes);
    for (std::size_t index = 0; index < units_.size(); ++index) {
        flow_.for_each_arc(static_cast<LexFlow::Node>(2 + index), [&](LexFlow::Arc arc) {
            if ((arc & 1) != 0 || flow_.flow(arc) <= 0) return;
            const LexFlow::Node to = flow_.head(arc);
            if (slot_teacher[to] != kNone) {
                substitute_[index] = slot_teacher[to];
            } else {
                waiting[to].push_back(static_cast<std::uint32_t>(index));
            }
        });
    }
    for (LexFlow::Node hub = 0; hub < nodes; ++hub) {
        if (waiting[hub].empty()) continue;
        std::size_t next = 0;
        flow_.for_each_arc(hub, [&](LexFlow::Arc arc) {
            if ((arc & 1) != 0 || flow_.flow(arc) <= 0 || slot_teacher[flow_.head(arc)] == kNone) return;
            substitute_[waiting[hub][next++]] = slot_teacher[flow_.head(arc)];
        });
    }
    return true;
}

// Levels 1-7 over the units, around what is fixed: the flow without a bound gives the best
// of levels 1-4; the smallest bound on the loads that keeps them is searched; the flow
// under that bound, with every level costed, gives the plan.
bool BestPlanner::plan_units(InterruptionCheck& check) {
    const PlanningInput& input = *input_;
    substitute_.assign(units_.size(), kNone);
    // The bound can be no lower than a load fixed already.
    std::uint32_t low = 1;
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        if (fixed_covers_[teacher] == 0) continue;
        low = std::max(low, (input.prior.empty() ? 0 : input.prior[teacher]) + fixed_covers_[teacher]);
    }
    Solved best;
    if (!solve(kNoBound, false, best, check)) return false;
    if (best.units == 0) return true;
    const auto as_good = [&](const Solved& solved) {
        return solved.units == best.units && std::equal(solved.cost.level.begin(), solved.cost.level.begin() + 3,
                                                        best.cost.level.begin());
    };
    // The flow without a bound keeps its loads within its largest one, so that bound is
    // good; below `low` none is. On most days `low` itself is good, so it is tried first;
    // else halving between the two.
    std::uint32_t too_small = low - 1;
    std::uint32_t good = std::max(best.largest_load, low);
    if (low < good) {
        Solved probe;
        if (!solve(low, false, probe, check)) return false;
        (as_good(probe) ? good : too_small) = low;
    }
    while (too_small + 1 < good) {
        const std::uint32_t middle = too_small + (good - too_small) / 2;
        Solved probe;
        if (!solve(middle, false, probe, check)) return false;
        (as_good(probe) ? good : too_small) = middle;
    }
    Solved planned;
    return solve(good, true, planned, check);
}

std::uint32_t BestPlanner::substitute_of(std::uint32_t lesson) const {
    if (lesson == kNone) return kNone;
    if (fixed_of_lesson_[lesson] != kNone) return fixed_of_lesson_[lesson];
    const std::uint32_t unit = unit_of_lesson_[lesson];
    return unit == kNone ? kNone : substitute_[unit];
}

// The doubles kept among the pairs that `lessons` are in, each pair counted once: a move
// that changes only these lessons' substitutes changes the day's doubles by as much.
std::int64_t BestPlanner::doubles_around(std::initializer_list<std::uint32_t> lessons) const {
    std::pair<std::uint32_t, std::uint32_t> pairs[8];
    std::size_t count = 0;
    for (const std::uint32_t lesson : lessons) {
        const LessonLinks& links = input_->policy.lessons[lesson];
        for (const std::uint32_t neighbour : {links.before, links.after}) {
            if (neighbour == kNone) continue;
            const std::pair pair{std::min(lesson, neighbour), std::max(lesson, neighbour)};
            if (std::find(pairs, pairs + count, pair) == pairs + count) pairs[count++] = pair;
        }
    }
    std::int64_t kept = 0;
    for (std::size_t at = 0; at < count; ++at) {
        const std::uint32_t substitute = substitute_of(pairs[at].first);
        kept += substitute != kNone && substitute == substitute_of(pairs[at].second) ? 1 : 0;
    }
    return kept;
}

// Moves units between substitutes while that keeps more doubles: every unit covered stays
// covered, so the most lessons stay covered. Tried for each double not kept, in lesson
// order: the later half to the earlier's substitute, the earlier to the later's (each
// alone, or swapped with the unit that substitute covers then), or both to a third
// teacher free in both periods; until a pass over the doubles finds no move.
bool BestPlanner::keep_doubles(InterruptionCheck& check) {
    const PlanningInput& input = *input_;
    const std::uint32_t cap = input.policy.max_covers;
    std::vector<std::uint32_t> covers(fixed_covers_);
    std::unordered_map<std::uint64_t, std::uint32_t> occupant;  // (teacher, code) -> unit
    const auto key = [](std::uint32_t teacher, std::size_t code) { return (std::uint64_t{teacher} << 32) | code; };
    for (std::uint32_t unit = 0; unit < units_.size(); ++unit) {
        if (substitute_[unit] == kNone) continue;
        ++covers[substitute_[unit]];
        occupant[key(substitute_[unit], units_[unit].code)] = unit;
    }
    const auto assign = [&](std::uint32_t unit, std::uint32_t teacher) {
        const std::uint32_t old = substitute_[unit];
        occupant.erase(key(old, units_[unit].code));
        --covers[old];
        substitute_[unit] = teacher;
        occupant[key(teacher, units_[unit].code)] = unit;
        ++covers[teacher];
    };
    const auto can_take = [&](std::uint32_t teacher, std::size_t code, std::uint32_t more) {
        return input.teachers[teacher].present && free_in(teacher, code) && !occupant.contains(key(teacher, code)) &&
               (cap == PlanningPolicy::kNoCap || covers[teacher] + more <= cap);
    };
    // Applies `move`, keeps it when the doubles around `lessons` grew, else takes it back.
    const auto try_move = [&](std::initializer_list<std::uint32_t> lessons, auto move, auto undo) {
        const std::int64_t before = doubles_around(lessons);
        move();
        if (doubles_around(lessons) > before) return true;
        undo();
        return false;
    };
    // Unit `unit` to `teacher`, alone or swapped with the unit `teacher` covers then.
    const auto move_to = [&](std::uint32_t unit, std::uint32_t teacher) {
        if (unit == kNone) return false;
        const std::uint32_t old = substitute_[unit];
        const std::size_t code = units_[unit].code;
        const auto other = occupant.find(key(teacher, code));
        const std::uint32_t lesson = units_[unit].lesson;
        if (other == occupant.end()) {
            if (!can_take(teacher, code, 1)) return false;
            return try_move({lesson}, [&] { assign(unit, teacher); }, [&] { assign(unit, old); });
        }
        const std::uint32_t swapped = other->second;
        const auto swap = [&, swapped](std::uint32_t to_unit, std::uint32_t to_swapped) {
            occupant.erase(key(substitute_[unit], code));
            occupant.erase(key(substitute_[swapped], code));
            substitute_[unit] = to_unit;
            substitute_[swapped] = to_swapped;
            occupant[key(to_unit, code)] = unit;
            occupant[key(to_swapped, code)] = swapped;
        };
        return try_move({lesson, units_[swapped].lesson}, [&] { swap(teacher, old); }, [&] { swap(old, teacher); });
    };
    const auto both_to_another = [&](std::uint32_t first, std::uint32_t second) {
        if (first == kNone || second == kNone) return false;
        const std::uint32_t first_old = substitute_[first];
        const std::uint32_t second_old = substitute_[second];
        for (std::uint32_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
            if (teacher == first_old || teacher == second_old || !can_take(teacher, units_[first].code, 2) ||
                !can_take(teacher, units_[second].code, 2)) {
                continue;
            }
            if (try_move({units_[first].lesson, units_[second].lesson},
                         [&] { assign(first, teacher); assign(second, teacher); },
                         [&] { assign(first, first_old); assign(second, second_old); })) {
                return true;
            }
        }
        return false;
    };
    const std::vector<LessonLinks>& links = input.policy.lessons;
    // Each move keeps at least one double more, so the passes end.
    for (bool improved = true; improved;) {
        improved = false;
        if (check.step(static_cast<std::int64_t>(links.size()))) return false;
        for (std::uint32_t lesson = 0; lesson < links.size(); ++lesson) {
            const std::uint32_t later = links[lesson].after;
            if (later == kNone) continue;
            const std::uint32_t first_substitute = substitute_of(lesson);
            const std::uint32_t later_substitute = substitute_of(later);
            if (first_substitute == kNone || later_substitute == kNone || first_substitute == later_substitute) continue;
            improved |= move_to(unit_of_lesson_[later], first_substitute) ||
                        move_to(unit_of_lesson_[lesson], later_substitute) ||
                        both_to_another(unit_of_lesson_[lesson], unit_of_lesson_[later]);
        }
    }
    for (std::uint32_t lesson = 0; lesson < links.size(); ++lesson) {
        for (const std::uint32_t neighbour : {links[lesson].before, links[lesson].after}) {
            if (neighbour == kNone || unit_of_lesson_[lesson] == kNone) continue;
            if (substitute_of(lesson) != kNone && substitute_of(lesson) == substitute_of(neighbour)) {
                double_kept_[lesson] = neighbour;
            }
        }
    }
    return true;
}

// Every lesson's decision, in order, with the counts behind each uncovered one.
void BestPlanner::write_plan(Plan& plan) {
    const PlanningInput& input = *input_;
    const PlanningPolicy& policy = input.policy;
    const std::size_t lessons = input.lessons.size();
    std::vector<std::uint8_t> pinned(lessons, 0);
    for (const PlanningPin& pin : policy.pins) pinned[pin.lesson] = 1;
    plan.decisions.reserve(lessons);
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        Decision decision{kNone, Rule::uncovered};
        const LessonLinks* links = policy.lessons.empty() ? nullptr : &policy.lessons[lesson];
        const std::uint32_t unit = unit_of_lesson_[lesson];
        if (pinned[lesson]) {
            decision = Decision{fixed_of_lesson_[lesson], Rule::pinned};
        } else if (links != nullptr && links->need == LessonNeed::none_away) {
            decision.rule = Rule::away;
        } else if (links != nullptr && links->need == LessonNeed::none_co_taught) {
            decision.rule = Rule::co_taught;
        } else if (fixed_of_lesson_[lesson] == kNone && unit == kNone) {
            // A combined set's follower, with its first lesson (decided before it).
            const Decision& first = plan.decisions[links->leader];
            if (first.substitute != kNone) decision = Decision{first.substitute, Rule::combined};
        } else {
            decision.substitute = fixed_of_lesson_[lesson] != kNone ? fixed_of_lesson_[lesson] : substitute_[unit];
            if (decision.substitute != kNone) {
                const PlanningTeacher& substitute = input.teachers[decision.substitute];
                const PlanningLesson& planned = input.lessons[lesson];
                bool double_kept = false;
                if (policy.keep_doubles && links != nullptr) {
                    for (const std::uint32_t neighbour : {links->before, links->after}) {
                        double_kept |= neighbour < lesson && plan.decisions[neighbour].substitute == decision.substitute;
                    }
                }
                decision.rule = substitute.supply                            ? Rule::supply
                                : double_kept                                ? Rule::double_lesson
                                : substitute.subject == planned.subject      ? Rule::subject
                                                                             : Rule::any;
            }
        }
        plan.decisions.push_back(decision);
        switch (decision.rule) {
            case Rule::uncovered: break;
            case Rule::away:
            case Rule::co_taught: ++plan.not_needed; break;
            default: ++plan.covered; break;
        }
    }

    // Why each uncovered lesson is: of the teachers present in its period, each in the first
    // group that fits: covering then, teaching then, unavailable then, at the cap.
    std::vector<std::uint8_t> follows_pin(lessons, 0);
    for (const PlanningPin& pin : policy.pins) follows_pin[pin.lesson] = pin.books ? 0 : 1;
    std::vector<std::uint64_t> covering(input.busy.size(), 0);  // as PlanningInput::busy
    std::vector<std::uint32_t> covers(input.teachers.size(), 0);
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        if (decision.substitute == kNone) continue;
        add_code(covering.data() + words_ * decision.substitute, input.lessons[lesson].code);
        if (decision.rule != Rule::combined && !follows_pin[lesson]) ++covers[decision.substitute];
    }
    std::unordered_map<std::size_t, Uncovered> by_code;
    for (std::size_t lesson = 0; lesson < lessons; ++lesson) {
        if (plan.decisions[lesson].rule != Rule::uncovered) continue;
        const std::size_t code = input.lessons[lesson].code;
        auto [counted, added] = by_code.try_emplace(code, Uncovered{0, 0, 0, 0, 0, 0});
        Uncovered& why = counted->second;
        for (std::size_t teacher = 0; added && teacher < input.teachers.size(); ++teacher) {
            const std::size_t at = words_ * teacher;
            if (!input.teachers[teacher].present) continue;
            if (!policy.absent.empty() && has_code(policy.absent.data() + at, code)) continue;
            ++why.present_teachers;
            if (has_code(covering.data() + at, code)) {
                ++why.busy_covering;
            } else if (has_code(input.busy.data() + at, code)) {
                ++why.busy_teaching;
            } else if (!policy.unavailable.empty() && has_code(policy.unavailable.data() + at, code)) {
                ++why.busy_unavailable;
            } else if (policy.max_covers != PlanningPolicy::kNoCap && covers[teacher] >= policy.max_covers) {
                ++why.at_cap;
            }
        }
        plan.uncovered.push_back(why);
        plan.uncovered.back().lesson = static_cast<std::uint32_t>(lesson);
    }
}

}  // namespace lessoncover
