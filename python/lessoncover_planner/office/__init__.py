"""The cover office: a school folder set up once, absences by date and a dated ledger.

``school_folder`` reads the school (``school.toml``, ``teachers.csv``,
``lessons.csv`` by day label), ``calendar`` says which dates are school days
and what each is called, ``ledger`` keeps every date's absences, covers and
runs in SQLite.  The commands (and later the web app) call these modules and
:func:`lessoncover_planner.plan`; none of them adds a rule of its own.
"""
