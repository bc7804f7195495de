"""`python -m pyquarn`: the quarn command."""

import sys

from .cli import main

sys.exit(main())
