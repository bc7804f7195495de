import _quarn

import pyquarn


def test_version():
    assert _quarn.__version__ == "0.2.1"
    assert pyquarn.__version__ == "0.2.1"
