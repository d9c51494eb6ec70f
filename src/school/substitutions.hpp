// A school's cover generation: build the planning input from the school, decide, render
// the report, and only then write the covers into the substitutes' records.
#pragma once

#include <string>

#include "interruption.hpp"
#include "report/report.hpp"
#include "result.hpp"
#include "school/school.hpp"

namespace lessoncover {

// Plans cover for every absent lesson of the school's classes and writes the report into
// `sink`: the CSV rows, then the lessons nobody could cover and the time taken, each in
// quoted form. Once the report is written, each cover is added to the substitute's
// periods and stays there. When planning or the report runs out of memory (or the sink
// cannot take the report), the error comes back and the school is as it was; so it is when the
// interruption, asked now and then until the covers are written, says to stop.
Result<Done> generate_substitutions(School& school, ReportSink& sink, Interruption* interruption = nullptr);
// The same, with the report returned as UTF-8 text.
Result<std::string> generate_substitutions(School& school);

}  // namespace lessoncover
