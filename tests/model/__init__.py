"""lessoncover's rules of cover written plainly in Python, once: the model the tests and the
benchmarks check the extension module and lessoncover_planner against.

- rules.py: how each absent lesson is answered, in which order (the one place that decides);
- day.py: a day as plain data planned by the rules, with any policy: ``plan_day``;
- module_api.py: the module's API (Teacher, Class, School, register_period) over the rules;
- texts.py: the texts lessoncover writes (quoted form, report rows, durations).

Import it from the repository's root as ``tests.model``: pytest puts the root on sys.path
(pyproject.toml), and ``python -m benchmarks.bench`` run there has it as the current folder.
"""
