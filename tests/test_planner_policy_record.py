"""Policy: a frozen record whose options are checked when it is made."""
import pytest

from lessoncover_planner import Policy


def test_default_policy_has_every_option_off():
    policy = Policy()
    assert (policy.max_covers, dict(policy.prior_covers), dict(policy.unavailable)) == (None, {}, {})
    assert not (policy.keep_doubles or policy.combined_lessons or policy.co_taught_no_cover)
    assert policy.away_classes == frozenset() and policy.is_default()


def test_policy_keeps_read_only_copies():
    prior = {"Asha": 2}
    unavailable = {"Ben": [3, 4, 3]}
    away = ["10A"]
    policy = Policy(prior_covers=prior, unavailable=unavailable, away_classes=away)
    prior["Asha"] = 9
    unavailable["Ben"].append(5)
    away.append("10B")
    assert dict(policy.prior_covers) == {"Asha": 2}
    assert dict(policy.unavailable) == {"Ben": frozenset({3, 4})}
    assert policy.away_classes == frozenset({"10A"})
    with pytest.raises(TypeError):
        policy.prior_covers["Asha"] = 1  # type: ignore[index]
    with pytest.raises(AttributeError):
        policy.max_covers = 3  # type: ignore[misc]
    assert policy == Policy(prior_covers={"Asha": 2}, unavailable={"Ben": (4, 3)}, away_classes={"10A"})
    assert hash(policy) == hash(Policy(prior_covers={"Asha": 2}, unavailable={"Ben": (4, 3)}, away_classes={"10A"}))


@pytest.mark.parametrize("options, error, words", [
    ({"max_covers": -1}, ValueError, "max_covers must not be negative"),
    ({"max_covers": 1.5}, TypeError, "max_covers must be an int"),
    ({"max_covers": True}, TypeError, "max_covers must be an int"),
    ({"prior_covers": {"Asha": -2}}, ValueError, "prior_covers['Asha']: a count must not be negative"),
    ({"prior_covers": {"Asha": "2"}}, TypeError, "prior_covers['Asha']: a count must be an int"),
    ({"prior_covers": {3: 1}}, TypeError, "prior_covers: a teacher name must be a str"),
    ({"prior_covers": [("Asha", 1)]}, TypeError, "prior_covers must be a mapping"),
    ({"unavailable": {"Ben": 3}}, TypeError, "unavailable['Ben']: expected an iterable of periods"),
    ({"unavailable": {"Ben": "34"}}, TypeError, "unavailable['Ben']: expected an iterable of periods"),
    ({"unavailable": {"Ben": [40000]}}, ValueError, "unavailable['Ben']: period 40000 is outside"),
    ({"unavailable": {"Ben": [2.0]}}, TypeError, "unavailable['Ben']: a period must be an int"),
    ({"away_classes": "10A"}, TypeError, "away_classes must be an iterable of class names"),
    ({"away_classes": [10]}, TypeError, "away_classes: a class name must be a str"),
    ({"keep_doubles": 1}, TypeError, "keep_doubles must be a bool"),
])
def test_bad_policy_values_are_refused_clearly(options, error, words):
    with pytest.raises(error, match=None) as refused:
        Policy(**options)
    assert words in str(refused.value)
