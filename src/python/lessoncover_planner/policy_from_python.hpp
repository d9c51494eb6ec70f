// A Policy read by the names of its options, every value checked: the one place where a
// policy's options are held to their types and ranges. Policy() runs it when a policy is
// made, plan_day() when one is planned with, so that a policy changed since, or an object
// of another class, is refused as cleanly. The teachers and classes it names are left to
// the day that is planned.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "binding/owned_ref.hpp"
#include "planner/planning_input.hpp"

namespace lessoncover::binding {

struct PolicyObjects {
    std::uint32_t max_covers = PlanningPolicy::kNoCap;
    bool keep_doubles = false;
    bool combined_lessons = false;
    bool co_taught_no_cover = false;
    OwnedRef prior_covers;  // a list of (name, count) pairs
    std::vector<std::uint32_t> prior_counts;  // by pair
    OwnedRef unavailable;   // a list of (name, periods) pairs
    std::vector<std::pair<Py_ssize_t, std::int16_t>> unavailable_periods;  // (pair, period)
    OwnedRef away_classes;  // a tuple of class names
    OwnedRef pins;          // a tuple of (absent, period, class_name, substitute) tuples
    std::vector<std::int16_t> pin_periods;  // by pin
    OwnedRef supply;        // a tuple of teacher names
    Strategy strategy = Strategy::greedy;
};

// Reads the options of `policy` into `out`; false with TypeError or ValueError naming the
// option and the item at fault, or with whatever error the object raised.
bool read_policy_object(PyObject* policy, PolicyObjects& out);

}  // namespace lessoncover::binding
