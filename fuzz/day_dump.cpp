// Writes out the days the day fuzzer plans from each input file named, one JSON object a
// line, with the plan CoverPlanner::decide made and the fuzzer's model accepted: so that a
// test can have the plain Python model of the rules plan the same days and compare. Names,
// classes and subjects are written as their numbers; the days' texts play no part in a plan.
//
//     day_dump FILE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_day.hpp"
#include "plan_model.hpp"

namespace {

using lessoncover::Day;
using lessoncover::DayInput;
using lessoncover::Plan;

template <class Items, class Write>
void list(std::string& out, const Items& items, Write write) {
    out += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ',';
        first = false;
        write(item);
    }
    out += ']';
}

std::string day_json(const Day& day, const DayInput& in, const Plan& plan, bool with_policy) {
    std::string out = "{\"with_policy\":";
    out += with_policy ? "true" : "false";
    const auto number = [&](auto value) { out += std::to_string(value); };
    out += ",\"teachers\":";
    list(out, day.teachers, [&](const lessoncover::DayTeacher& t) {
        out += "[" + std::to_string(t.subject) + "," + (t.present ? "true" : "false") + "," +
               (t.part_day ? "true" : "false") + "]";
    });
    out += ",\"lessons\":";
    list(out, day.lessons, [&](const lessoncover::DayLesson& l) {
        out += "[" + std::to_string(l.teacher) + "," + std::to_string(l.class_id) + "," + std::to_string(l.period) + "]";
    });
    out += ",\"classes\":" + std::to_string(day.classes.size());
    const lessoncover::DayPolicy& policy = day.policy;
    out += ",\"keep_doubles\":" + std::string(policy.keep_doubles ? "true" : "false");
    out += ",\"combined_lessons\":" + std::string(policy.combined_lessons ? "true" : "false");
    out += ",\"co_taught_no_cover\":" + std::string(policy.co_taught_no_cover ? "true" : "false");
    out += ",\"max_covers\":";
    if (policy.max_covers == lessoncover::PlanningPolicy::kNoCap) {
        out += "null";
    } else {
        number(policy.max_covers);
    }
    out += ",\"prior_covers\":";
    list(out, policy.prior_covers, number);
    const auto pairs = [&](const std::vector<std::pair<std::uint32_t, std::int16_t>>& items) {
        list(out, items, [&](const auto& p) { out += "[" + std::to_string(p.first) + "," + std::to_string(p.second) + "]"; });
    };
    out += ",\"unavailable\":";
    pairs(policy.unavailable);
    out += ",\"absent_periods\":";
    pairs(policy.absent_periods);
    out += ",\"class_away\":";
    list(out, policy.class_away, [&](std::uint8_t away) { number(static_cast<unsigned>(away)); });
    out += ",\"pins\":";
    list(out, policy.pins, [&](const lessoncover::DayPin& p) {
        out += "[" + std::to_string(p.absent) + "," + std::to_string(p.class_id) + "," + std::to_string(p.period) + "," +
               std::to_string(p.substitute) + "]";
    });
    // The plan, lesson by lesson in report order: the absent teacher, class, period, the
    // substitute's number in the day (or -1) and the rule.
    out += ",\"plan\":[";
    for (std::size_t lesson = 0; lesson < plan.decisions.size(); ++lesson) {
        const lessoncover::Decision& decision = plan.decisions[lesson];
        if (lesson != 0) out += ',';
        out += "[" + std::to_string(in.lesson_absent[lesson]) + "," + std::to_string(in.lesson_class[lesson]) + "," +
               std::to_string(in.input.lessons[lesson].period) + ",";
        out += decision.substitute == lessoncover::Decision::kNobody ? "-1"
                                                                      : std::to_string(in.list_order[decision.substitute]);
        out += ",\"" + std::string(lessoncover::rule_name(decision.rule)) + "\"]";
    }
    out += "],\"uncovered\":";
    list(out, plan.uncovered, [&](const lessoncover::Uncovered& why) {
        out += "[" + std::to_string(why.lesson) + "," + std::to_string(why.present_teachers) + "," +
               std::to_string(why.busy_teaching) + "," + std::to_string(why.busy_covering) + "," +
               std::to_string(why.busy_unavailable) + "," + std::to_string(why.at_cap) + "]";
    });
    out += "}";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    for (int arg = 1; arg < argc; ++arg) {
        std::ifstream file(argv[arg], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        fuzz::Choices in(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        fuzz::plan_days(in, [&](const Day& day, const DayInput& out, const Plan& plan, bool with_policy) {
            if (!with_policy) fuzz::check_plan(out.input, plan);  // the fuzzer's model agrees
            std::printf("%s\n", day_json(day, out, plan, with_policy).c_str());
        });
    }
    return 0;
}
