"""Formulas over a frame: the plan (a context with the formulas, which data
item reads which column) and the evaluator that runs a plan over the rows of
one frame through the engine's table API."""

import pickle
import re

import numpy as np
import pandas as pd

from ._ffi import ffi, has_table_api, lib
from .codepage import encode
from .columns import check_column_type, input_column, unix_epoch_day
from .context import _ITEM_DATA, DATETIME, NUMBER, STRING, Context
from .errors import ColumnError, EvaluationError, FormulaError
from .formulas_file import Definition, definitions_of
from .hints import formula_hint
from .labels import column_hint, engine_names, unquoted
from .naming import item_names
from .zones import common_zone
from .results import Form, check_numbers, empty_array, no_value_rows, result_array

_UNKNOWN_NAME = 103  # also what a formula gives that names one defined later
_RECURSIVE = 125
_ROW_TYPES = (NUMBER, DATETIME, STRING)


class Plan:
    """context: the Context the formulas live in; outputs: the formulas to
    compute, in column order; where: the row filter formula or None;
    bindings: (item name, item type, column label, column position) for each
    data item read (by position: a frame's labels may repeat)."""

    def __init__(self, context, outputs, where, bindings, numbers, labels=None, told=()):
        self.context = context
        self.outputs = outputs
        self.labels = list(labels) if labels is not None else [f.name for f in outputs]
        self.told = frozenset(told)  # column labels whose type types= gave
        self.where = where
        self.bindings = bindings
        self.numbers = numbers
        self.forms = [Form(formula, numbers) for formula in outputs]

    @property
    def zones(self):
        return tuple(form.zone for form in self.forms)

    def set_zones(self, dtypes):
        """Puts each DateTime result in the time zone of the zoned columns it
        reads, when they are all of one zone (dtypes: the frame's, by
        position)."""
        zones = {name: getattr(dtypes[position], "tz", None)
                 for name, item_type, _, position in self.bindings if item_type == DATETIME}
        for formula, form in zip(self.outputs, self.forms):
            if form.type == DATETIME:
                read = _items_read(self.context, [formula]) & zones.keys()
                form.zone = common_zone([zones[name] for name in read])

    def empty_frame(self):
        """A frame with no rows and the columns and dtypes a result has."""
        return pd.DataFrame({label: empty_array(form) for label, form in zip(self.labels, self.forms)})

    def to_parcel(self):
        """The plan as plain values (the context pickled: through its block)."""
        return (pickle.dumps(self.context), tuple(f.name for f in self.outputs),
                self.where.name if self.where else None, tuple(self.bindings), self.numbers, tuple(self.labels),
                tuple(self.told), self.zones)

    @classmethod
    def from_parcel(cls, parcel):
        pickled, outputs, where, bindings, numbers, labels, told, zones = parcel
        context = pickle.loads(pickled)
        plan = cls(context, [context[name] for name in outputs], context[where] if where else None,
                   list(bindings), numbers, labels, told)
        for form, zone in zip(plan.forms, zones):
            form.zone = zone
        return plan


def _mentions(text, name):
    """True when name stands in text as a whole word."""
    return re.search(r"(?<![\w@#$])" + re.escape(name) + r"(?![\w@#$])", text) is not None


def _awaited_name(error):
    """The name an unknown-name refusal is about: 'B' of 'B() + 1'."""
    return error.text[error.pos:error.pos + error.length].rstrip("( \t")


def _parse_definitions(context, definitions):
    """Parses in written order; a formula that names one defined after it
    waits for that one and is tried again as soon as it exists, so formulas
    written in any order take one parse each and one more per wait. Raises
    the first refusal."""
    parsed = {}
    failures = {}
    waiting = {}  # name -> definitions that named it before it existed

    def attempt(definition):
        try:
            formula = context.parse(definition.name, definition.text)
        except FormulaError as error:
            if error.code != _UNKNOWN_NAME:
                raise FormulaError(error.code, error.pos, error.length, error.name, error.text,
                                   definition.origin) from None
            error.origin = definition.origin
            failures[id(definition)] = error
            waiting.setdefault(_awaited_name(error), []).append(definition)
            return
        failures.pop(id(definition), None)
        parsed[id(definition)] = formula
        ready.extend(waiting.pop(definition.name, ()))

    for definition in definitions:
        ready = [definition]
        while ready:
            attempt(ready.pop())
    # What still waits names something no formula here defines under that
    # spelling; one more round in written order settles any the wait missed.
    pending = [d for d in definitions if id(d) not in parsed]
    progress = True
    while pending and progress:
        waiting.clear()
        ready = []
        before = len(pending)
        for definition in pending:
            attempt(definition)
        while ready:
            attempt(ready.pop())
        pending = [d for d in pending if id(d) not in parsed]
        progress = len(pending) < before
    if pending:
        raise _refusal(pending, failures)
    return [parsed[id(d)] for d in definitions]


def _refusal(pending, failures):
    """The refusal of formulas that never parsed: for the first that names
    itself, or names formulas that in turn name it, the engine's own
    'recursion' error; else the first unknown name."""
    by_name = {d.name: d for d in pending}
    for definition in pending:
        seen = set()
        current = definition
        while current is not None and id(current) not in seen:
            seen.add(id(current))
            current = by_name.get(_awaited_name(failures[id(current)]))
        if current is definition:
            error = failures[id(definition)]
            return FormulaError(_RECURSIVE, error.pos, error.length, error.name, error.text, error.origin)
    return failures[id(pending[0])]


def _refuse_unsupported(refused, texts):
    """A formula naming a column no data item can hold is told about that
    column rather than about an unknown name."""
    for name, error in refused.items():
        if any(_mentions(text, name) for text in texts):
            raise error


def _new_context(columns, flags):
    """A context with a data item for every column that can be one. Returns
    it, {item name: column position} and {item name: ColumnError} of the others."""
    context = Context(flags)
    positions = {}
    refused = {}
    for position, ((label, type_or_error), name) in enumerate(zip(columns, item_names([c[0] for c in columns]))):
        positions[name] = position
        if isinstance(type_or_error, ColumnError):
            refused[name] = type_or_error
        else:
            context.add_data_item(name, type_or_error, binding=str(label))
    return context, positions, refused


def _where_formula(context, where, names):
    if where is None:
        return None
    formula = context.parse(None, unquoted(where, names))
    if formula.type != NUMBER or formula.kind != "formula":
        raise ValueError(f"xev: the where formula must be a Number formula; {where!r} is {formula.type}")
    return formula


def make_plan(columns, formulas, where=None, numbers="exact", flags=0):
    """columns: (label, type or ColumnError) per column of the frame, in order.
    formulas: a Context, a mapping of names to texts, (name, text) pairs or
    the path of a formulas file."""
    check_numbers(numbers)
    column_items = {str(label): name for (label, _), name in zip(columns, item_names([c[0] for c in columns]))}
    backquoted = dict(column_items)
    if isinstance(formulas, Context):
        context = formulas.copy()
        names = item_names([c[0] for c in columns])
        positions = {name: position for position, name in enumerate(names)}
        # A label the item names as it is wins over one that becomes that
        # name; of repeated labels, the first.
        exact = {}
        for position, (label, _) in enumerate(columns):
            exact.setdefault(str(label), position)
        positions.update(exact)
        refused = {n: t for (_, t), n in zip(columns, names) if isinstance(t, ColumnError)}
        outputs = [f for f in context if f.kind == "formula" and f.type in _ROW_TYPES]
        labels = [f.name for f in outputs]
    else:
        context, positions, refused = _new_context(columns, flags)
        given = definitions_of(formulas)
        labels = [d.name for d in given]
        names = engine_names(labels, context.valid_name, context.data_items)
        for label, name in zip(labels, names):
            backquoted.setdefault(label, name)  # a column's label wins over an output's
        definitions = [Definition(name, unquoted(d.text, backquoted), d.origin) for d, name in zip(given, names)]
        try:
            outputs = _parse_definitions(context, definitions)
        except FormulaError as error:
            _refuse_unsupported(refused, [d.text for d in definitions])
            _parse_what_parses(context, definitions)  # so that a hint can name formulas written later
            raise _explained(error, dict(zip(names, labels)), column_items, context) from None
        for formula in outputs:
            if formula.kind != "formula" or formula.type not in _ROW_TYPES:
                raise ValueError(f"xev: formula {formula.name!r} gives no value per row (a range, a set "
                                 "or a keyword)")
    try:
        where_formula = _where_formula(context, where, backquoted)
    except FormulaError as error:
        _refuse_unsupported(refused, [where])
        raise _explained(error, {}, column_items, context) from None
    read = _items_read(context, outputs + ([where_formula] if where_formula else []))
    bindings = []
    for name in context._item_names(_ITEM_DATA):
        if name not in read:
            continue
        read.discard(name)
        if name in refused:
            raise refused[name]
        if name not in positions:
            raise ValueError(f"xev: data item {name!r} has no column in the frame")
        position = positions[name]
        bindings.append((name, context._data_item_type(name), columns[position][0], position))
    return Plan(context, outputs, where_formula, bindings, numbers, labels)


def _parse_what_parses(context, definitions):
    """Parses every definition that parses, in as many rounds as it takes."""
    pending = [d for d in definitions if d.name not in context]
    while pending:
        for definition in pending:
            try:
                context.parse(definition.name, definition.text)
            except FormulaError:
                pass
        still = [d for d in pending if d.name not in context]
        if len(still) == len(pending):
            return
        pending = still


def _explained(error, labels, column_items, context):
    """error with the label the user gave its formula and a hint: which item
    a column became, or the library's own 'did you mean'."""
    hint = column_hint(error, column_items) or formula_hint(context, error)
    return error.with_details(name=labels.get(error.name, error.name), hint=hint or "")


def _items_read(context, formulas):
    """The names of the items the formulas read, directly or through the
    formulas they name; each formula's references are asked once, so a
    frame of many columns and many formulas costs their sum, not product."""
    items = set()
    seen = {formula.name for formula in formulas}
    stack = list(formulas)
    while stack:
        formula = stack.pop()
        for kind, name in formula.references():
            if kind == "item":
                items.add(name)
            elif kind == "formula" and name not in seen and name in context:
                seen.add(name)
                stack.append(context[name])
    return items


class Evaluator:
    """A plan's table: the engine's per-thread copies and column bindings,
    made once and used for frame after frame (one at a time)."""

    def __init__(self, plan, threads=0):
        if not has_table_api():
            raise ImportError("xev: the loaded library has no table API (XEVTable*); rebuild it")
        self.plan = plan
        table = lib.XEVTableCreate(plan.context._ec, threads)
        if table == ffi.NULL:
            raise MemoryError("xev: cannot make a table")
        self._table = ffi.gc(table, lib.XEVTableDestroy)

    def _bind(self, frame, check_types):
        keep = []
        for name, item_type, label, position in self.plan.bindings:
            series = frame.iloc[:, position]
            if check_types and label not in self.plan.told:
                check_column_type(label, series, item_type)
            column = input_column(label, series, item_type)
            if lib.XEVTableBind(self._table, encode(name), column.record) < 0:
                raise ColumnError(label, f"cannot feed the {item_type} data item {name!r}")
            keep.append(column)
        return keep

    def evaluate(self, frame, on_no_value="null", check_types=False):
        """The formulas' columns over the rows of frame (a pandas DataFrame),
        indexed by the rows' labels. check_types: confirm that object
        columns hold the types the plan gave them (a part of a larger frame
        whose types were read from other rows)."""
        plan = self.plan
        if len(frame) == 0 or not plan.outputs:
            empty = plan.empty_frame()
            empty.index = frame.index[:0]
            return empty
        keep = self._bind(frame, check_types)
        count = len(plan.outputs)
        results = ffi.new("XevResult[]", count)
        for result, formula, form in zip(results, plan.outputs, plan.forms):
            result.formula = formula._handle()
            result.kind, result.scale = form.result_kind()
            result.epochDay = unix_epoch_day()
        row_index = ffi.new("int64_t**")
        where = plan.where._handle() if plan.where else ffi.NULL
        ok = lib.XEVTableEvaluate(self._table, len(frame), ffi.NULL, results, count, where,
                                  row_index if plan.where else ffi.NULL)
        del keep
        if ok != 1:
            # The arguments are the package's own and checked; what is left is
            # memory, which the engine reports for the whole evaluation rather
            # than leave a row looking as if the formula gave no value.
            raise MemoryError("xev: memory ran short while evaluating the formulas (a value too large "
                              "to make, or too many rows at once)")
        try:
            return self._frame(frame, results, row_index[0], on_no_value)
        finally:
            lib.XEVTableFreeResults(results, count)
            lib.HostFree(row_index[0])

    def _frame(self, frame, results, row_index, on_no_value):
        plan = self.plan
        index = frame.index
        if plan.where is not None:
            rows = results[0].rowCount
            positions = _positions(row_index, rows)
            index = index[positions]
        columns = {}
        for result, formula, form, label in zip(results, plan.outputs, plan.forms, plan.labels):
            if on_no_value == "raise":
                missing = no_value_rows(result)
                if len(missing):
                    raise EvaluationError(label, index[missing[0]])
            columns[label] = result_array(result, form)
        return pd.DataFrame(columns, index=index, copy=False)


def _positions(row_index, rows):
    if rows == 0:
        return np.empty(0, dtype=np.int64)
    return np.frombuffer(ffi.buffer(row_index, rows * 8), dtype=np.int64).copy()

