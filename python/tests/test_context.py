import pickle

import pytest

import xev
from xev.naming import item_names


@pytest.fixture
def sales():
    context = xev.Context()
    context.add_data_item("Price")
    context.add_data_item("Qty")
    context.add_data_item("Ordered", xev.DATETIME)
    context.add_data_item("Customer", xev.STRING)
    context.parse("Gross", "Price * Qty")
    context.parse("Net", "NumberRound(Gross() * 0.9, 2)")
    return context


def test_refused_formulas_tell_code_span_and_caret(sales):
    with pytest.raises(xev.FormulaError) as caught:
        sales.parse("Bad", "Price * Qtty + 1")
    error = caught.value
    assert (error.code, error.pos, error.length) == (102, 8, 4)
    assert error.message == xev.error_message(102) and error.message
    assert error.line == "Bad = Price * Qtty + 1"
    assert error.caret == "              ^~~~"
    assert error.hint == "did you mean Qty?"
    assert str(error).splitlines()[1:] == ["    Bad = Price * Qtty + 1", "                  ^~~~", "    did you mean Qty?"]
    assert len(sales) == 2  # nothing kept
    with pytest.raises(xev.FormulaError) as caught:
        sales.parse("Gross", "Price")
    assert caught.value.code == 126
    assert caught.value.caret == "^~~~~"  # a name error points at the name


def test_spans_count_characters_not_bytes():
    before = xev.code_page()
    xev.set_code_page(932)
    try:
        context = xev.Context()
        context.add_data_item("値段")
        with pytest.raises(xev.FormulaError) as caught:
            context.parse("F", "値段 * 数量")
        assert (caught.value.pos, caught.value.length) == (5, 2)
    finally:
        xev.set_code_page(before)


def test_dependency_queries_and_extended_text_follow_named_formulas(sales):
    net = sales["Net"]
    assert net.references() == [("function", "NumberRound"), ("formula", "Gross")]
    assert net.uses("Price", "data") and net.uses("Gross", "formula") and net.uses("NumberRound")
    assert not net.uses("Customer")
    assert sales.is_formula_used("Gross") and not sales.is_formula_used("Net")
    assert net.type == xev.NUMBER and net.kind == "formula" and net.ordinal == 1
    assert net.extended_text() == "NumberRound((Price * Qty) * 0.9, 2)"


def test_an_extended_text_too_long_to_make_is_refused_not_empty(sales):
    sales.parse("F0", "Price")
    for i in range(1, 31):  # each doubles the extended text of the one before
        sales.parse(f"F{i}", f"F{i - 1}() + F{i - 1}()")
    with pytest.raises(ValueError, match="'F30' is longer"):
        sales["F30"].extended_text()


def test_renaming_an_item_rewrites_the_formulas(sales):
    sales.rename_item("Price", "Unit_Price")
    assert sales["Gross"].text == "Unit_Price * Qty"
    assert "Price" not in sales.data_items
    with pytest.raises(KeyError):
        sales.rename_item("Price", "Other")


def test_a_formula_in_use_is_neither_renamed_nor_removed(sales):
    with pytest.raises(ValueError):
        sales["Gross"].rename("G")
    with pytest.raises(ValueError):
        sales.remove("Gross")
    net = sales["Net"]
    sales.remove(net)
    assert not net.alive and "Net" not in sales
    sales["Gross"].rename("G")
    assert [f.name for f in sales] == ["G"]


def test_set_text_keeps_the_name_and_refuses_bad_text(sales):
    sales["Net"].set_text("Gross() - 1")
    assert sales["Net"].text == "Gross() - 1"
    with pytest.raises(xev.FormulaError):
        sales["Net"].set_text("Gross( - 1")
    assert sales["Net"].text == "Gross() - 1"


def test_block_round_trip_and_damaged_blocks(sales):
    block = sales.to_block()
    loaded = xev.Context.from_block(block)
    assert loaded.data_items == sales.data_items
    assert [(f.name, f.text, f.type) for f in loaded] == [(f.name, f.text, f.type) for f in sales]
    assert loaded.to_block() == block
    assert len(xev.Context.from_block(sales.to_block(formulas=False))) == 0
    for damaged in (b"", block[:-3], b"\x77garbage", block + b"\0"):
        with pytest.raises(ValueError):
            xev.Context.from_block(damaged)


@pytest.mark.parametrize("add", [
    lambda context, i: context.parse(f"F{i}", "1"),
    lambda context, i: context.add_data_item(f"D{i}"),
], ids=["formulas", "data-items"])
def test_a_context_past_the_block_counts_is_refused_not_shrunk(add):
    context = xev.Context()
    for i in range(32768):
        add(context, i)
    with pytest.raises(ValueError, match="cannot be stored as a block"):
        pickle.dumps(context)


def test_pickling_keeps_flags_and_keyword_items():
    context = xev.Context(xev.RANGES_SETS)
    context.add_keyword_item("Last Year", 300)
    context.add_data_item("Price")
    context.parse("Cheap", "1 AND 10")
    copy = pickle.loads(pickle.dumps(context))
    assert copy.flags == xev.RANGES_SETS
    assert copy.keyword_items == {"Last Year": 300}
    assert copy["Cheap"].kind == "range"
    assert context.copy()["Cheap"].text == "1 AND 10"


def test_item_names_are_the_librarys_names_of_the_labels_as_text():
    assert item_names(["Order ID", 7, "a\0b", "Café Olé", "Order ID", ""]) == [
        "Order_ID", "_7", "a_b", "Café_Olé", "Order_ID_2", "Column6"]


def test_formulas_file(tmp_path):
    path = tmp_path / "f.formulas"
    path.write_bytes("\ufeff# c\n\nA = 1 + 2\r\n  B=A() * 2  \rC = 3\n".encode())
    assert [(d.name, d.text, d.origin) for d in xev.read_formulas(path)] == [
        ("A", "1 + 2", "f.formulas:3"), ("B", "A() * 2", "f.formulas:4"), ("C", "3", "f.formulas:5")]
    path.write_text("A = 1\nno equals here\n")
    with pytest.raises(xev.DefinitionError, match="f.formulas:2: expected 'name = formula'"):
        xev.read_formulas(path)
