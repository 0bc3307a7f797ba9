import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
CHECKOUT = os.path.dirname(os.path.dirname(HERE))
EXAMPLES = os.path.join(CHECKOUT, "examples")
