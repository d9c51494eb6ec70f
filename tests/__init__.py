"""The pytest suite, a package so that ``tests.model`` (the plain model of the rules) is
found from the repository's root before any other ``tests`` on sys.path."""
