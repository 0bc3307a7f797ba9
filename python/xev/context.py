"""Expression contexts and their formulas.

A Context owns one engine context: its data items and keyword items, the
built-in functions, and named formulas. It stores itself as a block of bytes
(to_block / from_block), which is also how it pickles and how it travels to
Dask workers. The block holds the data items and formulas; the flags and the
keyword items are kept beside it by this class, since the engine's block
leaves them to the host.
"""

from __future__ import annotations

from typing import Iterator, Optional

from ._ffi import ffi, lib
from .codepage import code_page, decode, encode_argument
from .errors import FormulaError
from .hints import formula_hint

# Data types by name; keyword types are plain integers of 255 and more.
NUMBER = "Number"
DATETIME = "DateTime"
STRING = "String"
_TYPE_CODES = {NUMBER: 0, DATETIME: 1, STRING: 2}
_TYPE_NAMES = {code: name for name, code in _TYPE_CODES.items()}

# Context flags (they change the language).
LIST_ALL_EXPRESSIONS = 0x01
NO_STRING_CONCAT = 0x02
SET_QUANTIFIERS = 0x04
DATE_MINUS_STRING = 0x08
STRING_PLUS = 0x10
NO_DATE_ARITH = 0x20
MODULO = 0x40
RANGES_SETS = 0x80

_ITEM_FUNCTION, _ITEM_DATA, _ITEM_FORMULA, _ITEM_KEYWORD = 0, 1, 2, 3
_KIND_CODES = {"function": _ITEM_FUNCTION, "data": _ITEM_DATA, "formula": _ITEM_FORMULA,
               "keyword": _ITEM_KEYWORD}
_REFERENCE_KINDS = {0: "function", 1: "item", 2: "formula"}
_EXP_SET, _EXP_RANGE = 1, 2
_NAME_FIELD_BYTES = 64
_MIN_KEYWORD_TYPE = 255
_MAX_BLOCK_BYTES = 2**31 - 1  # block sizes cross the API as int32
_MAX_BLOCK_COUNT = 32767  # a block counts data items and formulas in signed 16 bits


def type_name(code):
    """'Number', 'DateTime', 'String', or the keyword type's number."""
    return _TYPE_NAMES.get(code, code)


_TYPES_BY_LOWER = {name.lower(): name for name in _TYPE_CODES}


def canonical_type(type_):
    """'Number', 'DateTime' or 'String' for any letter case of those names
    (or a data type code 0, 1, 2); ValueError for anything else."""
    if isinstance(type_, str) and type_.lower() in _TYPES_BY_LOWER:
        return _TYPES_BY_LOWER[type_.lower()]
    if isinstance(type_, int) and not isinstance(type_, bool) and type_ in _TYPE_NAMES:
        return _TYPE_NAMES[type_]
    raise ValueError(f"xev: unknown data type {type_!r}; use 'Number', 'DateTime' or 'String'")


def type_code(type_):
    if isinstance(type_, str):
        return _TYPE_CODES[canonical_type(type_)]
    return int(type_)


# ---- Callbacks that collect what the engine lists ---------------------------

@ffi.callback("int32_t(ExprContext*, const char*, intptr_t)")
def _collect_item(_ec, name, user):
    ffi.from_handle(ffi.cast("void*", user)).append(ffi.string(name))
    return 1


@ffi.callback("int32_t(ExprContext*, int16_t, const char*, intptr_t)")
def _collect_reference(_ec, kind, name, user):
    ffi.from_handle(ffi.cast("void*", user)).append((kind, ffi.string(name)))
    return 1


def _handle_value(handle):
    return ffi.cast("intptr_t", handle)


class Context:
    """An expression context with the built-in functions.

    flags: a combination of the module's flag constants (RANGES_SETS, ...).
    """

    def __init__(self, flags: int = 0, *, functions: bool = True):
        raw = lib.XEVCreateEC(0, ffi.NULL, ffi.NULL, flags)
        if raw == ffi.NULL:
            raise MemoryError("xev: cannot create a context")
        self._adopt(raw, flags, functions, [])

    def _adopt(self, raw, flags, functions, keywords):
        self._raw = ffi.gc(raw, lib.XEVDestroyEC)
        self._code_page = code_page()
        self._flags = flags
        self._functions = functions
        self._keywords = list(keywords)  # (name, type, case_sensitive): restored on load
        self._formulas = {}  # HEXP address -> Formula, so one formula has one object
        if functions and lib.FUNDefineFunctions(raw) != 1:
            raise MemoryError("xev: cannot add the built-in functions")
        for name, type_, case_sensitive in keywords:
            self._add_item(_ITEM_KEYWORD, name, type_, 0, None, case_sensitive)

    @classmethod
    def _empty(cls, flags, functions, keywords):
        context = cls.__new__(cls)
        raw = lib.XEVCreateEC(0, ffi.NULL, ffi.NULL, flags)
        if raw == ffi.NULL:
            raise MemoryError("xev: cannot create a context")
        context._adopt(raw, flags, functions, keywords)
        return context

    @property
    def flags(self) -> int:
        return self._flags

    @property
    def code_page(self) -> int:
        """The code page the context was made in: its names and formulas are
        bytes of that code page, so it is used in no other."""
        return self._code_page

    @property
    def _ec(self):
        if lib.HostGetCodePage() != self._code_page:
            raise ValueError(f"xev: the context was made in code page {self._code_page}, but the process "
                             f"now reads code page {code_page()}; set that back with xev.set_code_page")
        return self._raw

    # ---- Items -------------------------------------------------------------

    def _add_item(self, kind, name, type_, subclass, binding, case_sensitive=False):
        encoded = encode_argument(name, "the item name")
        if not encoded or len(encoded) > _NAME_FIELD_BYTES:
            raise ValueError(f"xev: an item name has 1 to {_NAME_FIELD_BYTES} bytes: {name!r}")
        item = ffi.new("ExpItem*")
        item.kind = kind
        item.dataType = type_
        keep = ffi.new("char[]", encode_argument(binding, "the binding")) if binding else ffi.NULL
        item.bindingName = keep
        item.name = encoded
        item.subclass = subclass
        item.subclass2 = 1 if case_sensitive else 0
        if lib.XEVAddExpressionItem(self._ec, item) != 1:
            raise MemoryError(f"xev: cannot add the item {name!r}")

    def add_data_item(self, name: str, type_: "str | int" = NUMBER, *, subclass: int = 0,
                      binding: Optional[str] = None) -> None:
        """Adds a data item formulas can name. type_: 'Number', 'DateTime' or
        'String' (any letter case; the codes 0, 1, 2 too). binding: the name
        stored with it in the block."""
        code = type_code(type_)
        if code not in _TYPE_NAMES:
            raise ValueError("xev: a data item is a Number, DateTime or String")
        self._add_item(_ITEM_DATA, name, code, subclass, binding)

    def add_keyword_item(self, name: str, type_: int = _MIN_KEYWORD_TYPE, *, case_sensitive: bool = False) -> None:
        """Adds a keyword item: a word of fixed meaning that functions taking
        its type (255 or more) accept as an argument."""
        if int(type_) < _MIN_KEYWORD_TYPE:
            raise ValueError(f"xev: keyword types are {_MIN_KEYWORD_TYPE} and more")
        self._add_item(_ITEM_KEYWORD, name, int(type_), 0, None, case_sensitive)
        self._keywords.append((name, int(type_), case_sensitive))

    def _item_names(self, kind):
        names = []
        handle = ffi.new_handle(names)
        lib.XEVEnumExpItems(self._ec, kind, _collect_item, _handle_value(handle))
        return [decode(n) for n in names]

    @property
    def data_items(self) -> dict:
        """{name: type} of the data items, in the order they were added."""
        items = {}
        record = ffi.new("ExpItem*")
        for name in self._item_names(_ITEM_DATA):
            if lib.XEVGetExpressionVariable(self._ec, record, encode_argument(name, "the item name")) == 1:
                items.setdefault(name, type_name(record.dataType))
        return items

    def _data_item_type(self, name):
        record = ffi.new("ExpItem*")
        if lib.XEVGetExpressionVariable(self._ec, record, encode_argument(name, "the item name")) != 1:
            raise KeyError(f"xev: no data item {name!r}")
        return type_name(record.dataType)

    @property
    def keyword_items(self) -> dict:
        return {name: type_ for name, type_, _ in self._keywords}

    @property
    def functions(self) -> list:
        return self._item_names(_ITEM_FUNCTION)

    def remove_item(self, name: str, kind: str = "data") -> None:
        """Removes an item; formulas that use it yield no value from then on."""
        code = _KIND_CODES[kind]
        if lib.XEVDelExpItemNoCheck(self._ec, code, encode_argument(name, "the item name")) != 1:
            raise KeyError(f"xev: no {kind} item {name!r}")
        if code == _ITEM_KEYWORD:
            self._keywords = [k for k in self._keywords if k[0] != name]

    def rename_item(self, old: str, new: str, kind: str = "data") -> None:
        """Renames a data item (or a function, kind='function') and every use
        of it in the formulas' texts."""
        if kind not in ("data", "function"):
            raise ValueError("xev: only data items and functions are renamed this way")
        encoded = encode_argument(new, "the item name")
        if len(encoded) > _NAME_FIELD_BYTES:
            raise ValueError(f"xev: an item name has at most {_NAME_FIELD_BYTES} bytes: {new!r}")
        names = self.data_items if kind == "data" else self.functions
        if old not in names:
            raise KeyError(f"xev: no {kind} item {old!r}")
        lib.XEVRenameExpressionItem(self._ec, _KIND_CODES[kind], encode_argument(old, "the item name"), encoded)
        after = self.data_items if kind == "data" else self.functions
        if new not in after:
            raise MemoryError(f"xev: cannot rename {old!r}")

    # ---- Formulas ----------------------------------------------------------

    def parse(self, name: Optional[str], text: str) -> "Formula":
        """Parses text and keeps it as the formula name (None or '' lets the
        engine name it). Returns the Formula; raises FormulaError when the
        engine refuses it."""
        error = ffi.new("ExprError*")
        exp = lib.XEVParseFormula(self._ec, ffi.NULL, encode_argument(text, "the formula text"),
                                  encode_argument(name or "", "the formula name"), error, ffi.NULL)
        if exp == ffi.NULL:
            refusal = FormulaError.from_engine(error, name or "", text)
            raise refusal.with_details(hint=formula_hint(self, refusal))
        return self._formula(exp)

    def _formula(self, exp):
        key = int(ffi.cast("intptr_t", exp))
        formula = self._formulas.get(key)
        if formula is None:
            formula = self._formulas[key] = Formula(self, exp)
        return formula

    def __len__(self) -> int:
        return lib.XEVGetExpressionCount(self._ec)

    def __iter__(self) -> Iterator["Formula"]:
        for ordinal in range(len(self)):
            exp = lib.XEVHEXPFromOrdinal(self._ec, ordinal)
            if exp != ffi.NULL:
                yield self._formula(exp)

    @property
    def formulas(self) -> list:
        return list(self)

    def _find(self, name):
        """The formula's HEXP, or NULL (also for a name no formula can have)."""
        try:
            encoded = encode_argument(name, "the formula name")
        except (TypeError, ValueError):
            return ffi.NULL
        return lib.XEVHEXPFromName(self._ec, encoded)

    def __contains__(self, name: object) -> bool:
        return self._find(name) != ffi.NULL

    def __getitem__(self, name: str) -> "Formula":
        exp = self._find(name)
        if exp == ffi.NULL:
            raise KeyError(f"xev: no formula {name!r}")
        return self._formula(exp)

    def remove(self, formula: "Formula | str") -> None:
        """Removes a formula (or the formula of that name). Refused while
        another formula uses it."""
        if isinstance(formula, str):
            formula = self[formula]
        if formula.context is not self or not formula.alive:
            raise ValueError("xev: the formula is not one of this context's")
        if lib.XEVIsNamedFormulaUsed(self._ec, encode_argument(formula.name, "the formula name")) == 1:
            raise ValueError(f"xev: formula {formula.name!r} is used by another formula")
        if lib.XEVDestroyEXP(self._ec, formula._exp) != 1:
            raise ValueError(f"xev: formula {formula.name!r} cannot be removed")
        del self._formulas[int(ffi.cast("intptr_t", formula._exp))]
        formula._exp = None

    def is_formula_used(self, name: str) -> bool:
        """True when any formula uses the named formula."""
        return lib.XEVIsNamedFormulaUsed(self._ec, encode_argument(name, "the formula name")) == 1

    def valid_name(self, name: str) -> bool:
        """True when name can name a formula (whether it is free aside)."""
        try:
            encoded = encode_argument(name, "the formula name")
        except ValueError:
            return False
        return lib.XEVValidName(self._ec, encoded, ffi.NULL) == 1

    def set_date_pictures(self, date: Optional[str] = None, datetime: Optional[str] = None,
                          time: Optional[str] = None) -> None:
        """The date pictures extended text rewrites date literals with."""
        pictures = [encode_argument(p, "the date picture") if p else ffi.NULL
                    for p in (date, datetime, time)]
        lib.XEVSetDatePicture(self._ec, *pictures)

    # ---- Blocks, copies, pickling ------------------------------------------

    def to_block(self, formulas: bool = True) -> bytes:
        """The context stored as bytes: data items and, unless formulas is
        False, the formulas."""
        include = 1 if formulas else 0
        size = lib.XEVGetECBlockSize(self._ec, include)
        if 1 <= size <= _MAX_BLOCK_BYTES:
            buffer = ffi.new("char[]", size)
            # A block shorter than its size would be a context with less in it.
            if lib.XEVGetECBlock(self._ec, size, buffer) == size:
                return ffi.buffer(buffer, size)[:]
        raise ValueError(f"xev: the context cannot be stored as a block: it has {len(self.data_items)} data "
                         f"items and {len(self)} formulas, and a block holds at most {_MAX_BLOCK_COUNT} of "
                         "each, in less than 2 GiB")

    def load_block(self, data: bytes, formulas: bool = True) -> None:
        """Adds the items and formulas of a block to this context. Raises
        ValueError for a block the engine does not read whole; what it read
        before it stopped stays (from_block gives all or nothing)."""
        data = bytes(data)
        if not data:
            raise ValueError("xev: an empty block")
        if len(data) > _MAX_BLOCK_BYTES:
            raise ValueError(f"xev: a block has at most {_MAX_BLOCK_BYTES} bytes, not {len(data)}")
        errors = []

        @ffi.callback("int32_t(ExprContext*, const char*, ExprError*)")
        def on_error(_ec, text, error):
            errors.append(FormulaError.from_engine(error, "", decode(ffi.string(text))))
            return 0

        loaded = lib.XEVSetECContents(self._ec, len(data), data, 1 if formulas else 0, on_error)
        if loaded != 1:
            if errors:
                raise errors[0]
            raise ValueError("xev: the block could not be loaded (damaged, of another version, or "
                             "its formulas need flags, keyword items or functions this context lacks)")

    @classmethod
    def from_block(cls, data: bytes, flags: int = 0, *, keywords: tuple = (), functions: bool = True) -> "Context":
        """A new context from a block: flags and keyword items as when it was
        written (the block does not hold them)."""
        context = cls._empty(flags, functions, keywords)
        context.load_block(data)
        return context

    def copy(self) -> "Context":
        raw = lib.XEVCopyEC(self._ec)
        if raw == ffi.NULL:
            raise MemoryError("xev: cannot copy the context")
        context = Context.__new__(Context)
        # The copy has the functions and keyword items already.
        context._adopt(raw, self._flags, False, [])
        context._functions = self._functions
        context._keywords = list(self._keywords)
        return context

    def __reduce__(self):
        return (_restore, (self.to_block(), self._flags, tuple(self._keywords), self._functions, self._code_page))

    def __repr__(self):
        if lib.HostGetCodePage() != self._code_page:
            return f"<xev.Context flags={self._flags:#x} code_page={self._code_page}>"
        return (f"<xev.Context flags={self._flags:#x} data_items={len(self.data_items)} "
                f"formulas={len(self)}>")


def _restore(block, flags, keywords, functions, written_in=1252):
    # The block holds the bytes of the code page it was written in and does
    # not record which: read in another, its names would change.
    if code_page() != written_in:
        raise ValueError(f"xev: the context was stored in code page {written_in}, this process reads "
                         f"code page {code_page()}; call xev.set_code_page({written_in}) first")
    return Context.from_block(block, flags, keywords=keywords, functions=functions)


class Formula:
    """One named formula, range or set of a Context."""

    def __init__(self, context, exp):
        self.context = context
        self._exp = exp

    @property
    def alive(self) -> bool:
        return self._exp is not None

    def _handle(self):
        if self._exp is None:
            raise ValueError("xev: the formula was removed")
        return self._exp

    @property
    def _ec(self):
        return self.context._ec

    def _read(self, length_of, copy):
        """A text the engine gives by the buffer rule, sized by length_of."""
        exp = self._handle()
        size = length_of(self._ec, exp) + 1
        buffer = ffi.new("char[]", size)
        copy(self._ec, exp, size, buffer)
        return decode(ffi.string(buffer))

    @property
    def name(self) -> str:
        return self._read(lib.XEVGetExpressionNameLength, lib.XEVGetExpressionName)

    @property
    def text(self) -> str:
        return self._read(lib.XEVGetExpressionTextLength, lib.XEVGetExpressionText)

    @property
    def type(self) -> "str | int":
        """'Number', 'DateTime', 'String' or a keyword type."""
        return type_name(lib.XEVGetExpressionDataType(self._ec, self._handle()))

    @property
    def kind(self) -> str:
        """'formula', 'range' or 'set'."""
        exp = self._handle()
        if lib.XEVIsExpRange(self._ec, exp, _EXP_SET) == 1:
            return "set"
        if lib.XEVIsExpRange(self._ec, exp, _EXP_RANGE) == 1:
            return "range"
        return "formula"

    @property
    def ordinal(self) -> int:
        return lib.XEVGetExpressionOrdinal(self._ec, self._handle())

    def uses(self, name: str, kind: Optional[str] = None) -> bool:
        """True when the formula uses name, directly or through the formulas
        it names. kind: 'data', 'function' or 'formula'; None asks all three."""
        kinds = ("data", "function", "formula") if kind is None else (kind,)
        exp = self._handle()
        encoded = encode_argument(name, "the item name")
        return any(lib.XEVIsItemUsed(self._ec, exp, _KIND_CODES[k], encoded) == 1 for k in kinds)

    def references(self) -> list:
        """What the formula's own text names, in text order, as (kind, name)
        pairs: kind 'item' (a data or keyword item), 'function' or 'formula'."""
        found = []
        handle = ffi.new_handle(found)
        if lib.XEVEnumExpReferences(self._ec, self._handle(), _collect_reference, _handle_value(handle)) != 1:
            raise MemoryError("xev: cannot list the references")
        return [(_REFERENCE_KINDS.get(kind, kind), decode(name)) for kind, name in found]

    @property
    def uses_aggregate(self) -> bool:
        return lib.XEVIsAggregateUsed(self._ec, self._handle()) == 1

    def extended_text(self, expand_dates: bool = False) -> str:
        """The text with every named formula it uses written out in
        parentheses; expand_dates also rewrites date literals by the
        context's date pictures."""
        exp = self._handle()
        flag = 1 if expand_dates else 0
        # A formula's text is never empty, so neither is its extended text:
        # an empty answer is the engine's failure, never a value.
        length = lib.XEVGetExtendedTextLength(self._ec, exp, flag)
        if length < 1:
            raise ValueError(f"xev: the extended text of {self.name!r} is longer than the engine can "
                             "make (2 GB)")
        buffer = ffi.new("char[]", length + 1)
        if lib.XEVGetExtendedText(self._ec, exp, length + 1, buffer, flag) < 1 and buffer[0] == b"\0":
            raise MemoryError(f"xev: memory ran short making the extended text of {self.name!r}")
        return decode(ffi.string(buffer))

    def _reparse(self, text, name):
        error = ffi.new("ExprError*")
        exp = lib.XEVParseFormula(self._ec, self._handle(), encode_argument(text, "the formula text"),
                                  encode_argument(name, "the formula name"), error, ffi.NULL)
        if exp == ffi.NULL:
            raise FormulaError.from_engine(error, name, text)

    def rename(self, new_name: str) -> None:
        """Saves the formula under a new name; formulas that use the old name
        keep naming it, so a formula in use is refused."""
        if self.context.is_formula_used(self.name):
            raise ValueError(f"xev: formula {self.name!r} is used by another formula")
        self._reparse(self.text, new_name)

    def set_text(self, text: str) -> None:
        """Changes the formula's text, keeping its name."""
        self._reparse(text, self.name)

    def __repr__(self):
        if self._exp is None:
            return "<xev.Formula (removed)>"
        return f"<xev.Formula {self.name} = {self.text} ({self.type})>"
