#!/usr/bin/env python3
"""Writes vectors.txt: NumberValue results computed by Python's decimal module.

Each line is "op a b expected text", fields separated by one blank:
  op        add, sub, mul, div, round, trunc, cmp or parse
  a, b      operand texts ("-" when unused); for round and trunc, b is the
            number of decimal places
  expected  NULL, or the value as <sign><digits>E<exponent> with no trailing
            zeros in the digits ("0E0" for zero); for cmp, -1, 0 or 1
  text      the shortest text the runtime writes for the result ("-" for cmp,
            NULL for NULL)

The numbers: 22 significant digits, results rounded half away from zero,
leading-digit exponents from -99 to 99; beyond 10^99 a result is NULL, below
10^-99 it is zero. Run from anywhere: python3 gen_vectors.py
"""
import os
import random
from decimal import ROUND_DOWN, ROUND_HALF_UP, Context, Decimal

PRECISION = 22
MAX_ADJUSTED = 99
MIN_ADJUSTED = -99

ARITH = Context(prec=PRECISION, rounding=ROUND_HALF_UP, Emax=999999, Emin=-999999, traps=[])
WIDE = Context(prec=1000, rounding=ROUND_HALF_UP, Emax=999999, Emin=-999999, traps=[])

rng = random.Random(20240601)


def in_range(d):
    """The runtime's value for an exactly rounded result: None means NULL."""
    if d.is_zero():
        return Decimal(0)
    if d.adjusted() > MAX_ADJUSTED:
        return None
    if d.adjusted() < MIN_ADJUSTED:
        return Decimal(0)
    return d


def canonical(d):
    if d is None:
        return "NULL"
    if d.is_zero():
        return "0E0"
    sign, digits, exp = d.normalize(WIDE).as_tuple()
    return ("-" if sign else "") + "".join(map(str, digits)) + "E" + str(exp)


def text(d):
    """Plain digits for integers up to 22 digits and fractions down to 1E-7."""
    if d is None:
        return "NULL"
    if d.is_zero():
        return "0"
    sign, digit_tuple, exp = d.normalize(WIDE).as_tuple()
    digits = "".join(map(str, digit_tuple))
    adjusted = exp + len(digits) - 1
    if exp >= 0 and adjusted <= 21:
        body = digits + "0" * exp
    elif exp < 0 and adjusted >= -7:
        if adjusted < 0:
            body = "0." + "0" * (-adjusted - 1) + digits
        else:
            body = digits[: adjusted + 1] + "." + digits[adjusted + 1 :]
    else:
        body = digits[0] + ("." + digits[1:] if len(digits) > 1 else "")
        body += "E" + ("+" if adjusted >= 0 else "-") + str(abs(adjusted))
    return ("-" if sign else "") + body


def number(ndigits, adjusted, negative=None, trailing_zeros=0):
    """A representable operand with ndigits significant digits."""
    ndigits = max(1, min(PRECISION, ndigits))
    coef = rng.randrange(10 ** (ndigits - 1), 10**ndigits)
    coef -= coef % (10 ** min(trailing_zeros, ndigits - 1))
    if negative is None:
        negative = rng.random() < 0.4
    adjusted = max(MIN_ADJUSTED, min(MAX_ADJUSTED, adjusted))
    return Decimal((1 if negative else 0, tuple(map(int, str(coef))), adjusted - ndigits + 1))


def operand_text(d):
    s = str(d)
    # Exercise the other spellings the reader accepts now and then.
    if "E" in s and rng.random() < 0.2:
        s = s.replace("E", "e")
    if not s.startswith("-") and rng.random() < 0.1:
        s = "+" + s
    return s


lines = []


def emit(op, a, b, result):
    a_text = operand_text(a) if isinstance(a, Decimal) else a
    b_text = operand_text(b) if isinstance(b, Decimal) else str(b)
    if op == "cmp":
        lines.append(f"cmp {a_text} {b_text} {result} -")
    else:
        lines.append(f"{op} {a_text} {b_text} {canonical(result)} {text(result)}")


def binary(op, a, b):
    if op == "add":
        r = ARITH.add(a, b)
    elif op == "sub":
        r = ARITH.subtract(a, b)
    elif op == "mul":
        r = ARITH.multiply(a, b)
    else:
        r = ARITH.divide(a, b)
    emit(op, a, b, in_range(r))


def quantize(op, a, places):
    if a.as_tuple().exponent >= -places:
        r = a
    else:
        r = a.quantize(Decimal((0, (1,), -places)), rounding=ROUND_HALF_UP if op == "round" else ROUND_DOWN,
                       context=WIDE)
    emit(op, a, places, in_range(r))


def random_number(spread=30):
    return number(rng.randint(1, PRECISION), rng.randint(-spread, spread),
                  trailing_zeros=rng.choice([0, 0, 0, 2, 5]))


# ---- addition and subtraction -------------------------------------------
for _ in range(1200):  # general
    binary(rng.choice(["add", "sub"]), random_number(), random_number())
for _ in range(300):  # amounts of the same scale
    a = Decimal(rng.randint(-10**12, 10**12)).scaleb(-2)
    b = Decimal(rng.randint(-10**12, 10**12)).scaleb(-2)
    binary(rng.choice(["add", "sub"]), a, b)
for _ in range(300):  # carries through runs of nines
    nines = rng.randint(1, PRECISION)
    a = Decimal((0, (9,) * nines, rng.randint(-20, 20)))
    b = number(rng.randint(1, 5), a.adjusted() - nines + rng.randint(-3, 1), negative=False)
    binary("add", a, b)
    binary("sub", -a, b)
for _ in range(400):  # cancellation: nearly equal operands
    a = number(rng.randint(10, PRECISION), rng.randint(-40, 40))
    gap = rng.randint(1, PRECISION + 4)
    b = ARITH.add(a, number(rng.randint(1, 8), a.adjusted() - gap))
    if len(b.as_tuple().digits) <= PRECISION:
        binary("sub", a, b)
        binary("add", a, -b)
for _ in range(400):  # wide exponent gaps: the small operand only rounds
    a = number(rng.randint(1, PRECISION), rng.randint(-40, 40))
    b = number(rng.randint(1, PRECISION), a.adjusted() - rng.randint(12, 70))
    binary(rng.choice(["add", "sub"]), a, b)
    binary(rng.choice(["add", "sub"]), b, a)
for _ in range(300):  # ties: the small operand is exactly half a last place
    a = number(PRECISION, rng.randint(-30, 30))
    half = Decimal((rng.randint(0, 1), (5,), a.as_tuple().exponent - 1))
    binary(rng.choice(["add", "sub"]), a, half)
    binary("add", a, Decimal((half.as_tuple().sign, (4, 9, 9, 9), half.as_tuple().exponent - 3)))
    # Half a last place give or take a unit far below: the far digits decide.
    sign, exp = half.as_tuple().sign, half.as_tuple().exponent - (PRECISION - 1)
    binary(rng.choice(["add", "sub"]), a, Decimal((sign, (5,) + (0,) * (PRECISION - 2) + (1,), exp)))
    binary(rng.choice(["add", "sub"]), a, Decimal((sign, (4,) + (9,) * (PRECISION - 1), exp)))
for _ in range(300):  # exponent range ends
    top = rng.random() < 0.5
    adjusted = rng.randint(95, 99) if top else rng.randint(-99, -95)
    a = number(rng.randint(1, PRECISION), adjusted)
    b = number(rng.randint(1, PRECISION), adjusted - rng.randint(0, 25))
    binary(rng.choice(["add", "sub"]), a, b)

# ---- multiplication ------------------------------------------------------
for _ in range(1200):
    binary("mul", random_number(), random_number())
for _ in range(300):  # full-width coefficients
    binary("mul", number(rng.randint(18, PRECISION), rng.randint(-20, 20)),
           number(rng.randint(18, PRECISION), rng.randint(-20, 20)))
for _ in range(300):  # products that reach past either end of the range
    a = number(rng.randint(1, PRECISION), rng.randint(30, 99) * rng.choice([1, -1]))
    b = number(rng.randint(1, PRECISION), rng.randint(30, 99) * (1 if a.adjusted() > 0 else -1))
    binary("mul", a, b)
for _ in range(200):  # ties: a 22-digit number times 0.5 or 1.5
    a = number(PRECISION, rng.randint(-20, 20))
    binary("mul", a, Decimal(rng.choice(["0.5", "1.5", "-2.5", "0.05", "5E-10"])))

# ---- division ------------------------------------------------------------
for _ in range(1200):
    binary("div", random_number(), random_number())
for _ in range(300):  # wide divisors and dividends
    binary("div", number(rng.randint(15, PRECISION), rng.randint(-20, 20)),
           number(rng.randint(15, PRECISION), rng.randint(-20, 20)))
for _ in range(200):  # exact quotients
    b = number(rng.randint(1, 11), rng.randint(-10, 10))
    c = number(rng.randint(1, 11), rng.randint(-10, 10))
    a = ARITH.multiply(b, c)
    binary("div", a, b)
for _ in range(200):  # ties: 22-digit odd numbers halved
    a = number(PRECISION, rng.randint(-20, 20))
    if a.as_tuple().digits[-1] % 2 == 0:
        a = ARITH.add(a, Decimal((0, (1,), a.as_tuple().exponent)))
    binary("div", a, Decimal(rng.choice(["2", "-2", "20", "0.2", "8", "16"])))
for _ in range(300):  # quotients past either end of the range
    a = number(rng.randint(1, PRECISION), rng.randint(40, 99) * rng.choice([1, -1]))
    b = number(rng.randint(1, PRECISION), rng.randint(1, 99) * (-1 if a.adjusted() > 0 else 1))
    binary("div", a, b)

# ---- rounding and truncation to decimal places ---------------------------
for _ in range(900):
    a = number(rng.randint(1, PRECISION), rng.randint(-12, 25), trailing_zeros=rng.choice([0, 0, 3]))
    quantize(rng.choice(["round", "trunc"]), a, rng.randint(-25, 25))
for _ in range(300):  # ties at the cut
    places = rng.randint(-10, 10)
    a = number(rng.randint(1, 10), rng.randint(-12, 12))
    sign, digits, exp = a.as_tuple()
    a = Decimal((sign, digits + (5,), exp - 1))
    if len(a.as_tuple().digits) <= PRECISION:
        quantize("round", a, -(exp - 1) - 1)
        quantize(rng.choice(["round", "trunc"]), a, places)
for _ in range(100):  # near the top of the range
    a = number(rng.randint(1, PRECISION), rng.randint(90, 99))
    quantize(rng.choice(["round", "trunc"]), a, -rng.randint(85, 101))

# ---- comparison -----------------------------------------------------------
for _ in range(400):
    a = random_number()
    choice = rng.random()
    if choice < 0.3:
        b = random_number()
    elif choice < 0.6:  # the same value at another scale
        sign, digits, exp = a.as_tuple()
        pad = rng.randint(0, PRECISION - len(digits))
        b = Decimal((sign, digits + (0,) * pad, exp - pad))
    else:  # a last-place neighbour
        b = ARITH.add(a, Decimal((rng.randint(0, 1), (1,), a.as_tuple().exponent)))
        if len(b.as_tuple().digits) > PRECISION:
            b = a
    emit("cmp", a, b, (a > b) - (a < b))

# ---- reading text -----------------------------------------------------------
def digit_run(n):
    return "".join(rng.choice("0123456789") for _ in range(n))


for _ in range(600):
    integer = digit_run(rng.randint(0, 30))
    fraction = digit_run(rng.randint(0, 30))
    if not integer and not fraction:
        integer = "0"
    if rng.random() < 0.3:
        integer = "0" * rng.randint(1, 5) + integer
    body = integer + ("." + fraction if fraction or rng.random() < 0.3 else "")
    if rng.random() < 0.4:
        body += rng.choice("Ee") + rng.choice(["", "+", "-"]) + str(rng.randint(0, 130))
    body = rng.choice(["", "", "-", "+"]) + body
    value = in_range(ARITH.plus(Decimal(body)))
    lines.append(f"parse {body} - {canonical(value)} {text(value)}")

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "vectors.txt"), "w", newline="\n") as out:
    out.write("\n".join(lines) + "\n")
print(f"{len(lines)} vectors")
