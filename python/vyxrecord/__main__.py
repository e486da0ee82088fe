"""``python -m vyxrecord``: the command line (see cli.py)."""
import sys

from .cli import main

sys.exit(main())
