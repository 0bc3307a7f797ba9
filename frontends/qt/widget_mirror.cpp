#include "widget_mirror.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextBlock>

#include "owner_drawn_list.h"

namespace xevqt {
namespace {

// Messages and styles of the kit beyond the public header's.
constexpr uint32_t kLbGetTopIndex = XEV_LB_GETTOPINDEX;
constexpr uint32_t kLbSetTopIndex = XEV_LB_SETTOPINDEX;
constexpr uint32_t kStaticTypeMask = 0x1F;
constexpr uint32_t kStaticIcon = 0x3;
// The dialog font: the kit lays dialogs out for characters about 6 pixels
// wide in 13-pixel lines.
constexpr int kFontPixels = 11;

uint32_t ButtonType(const XEVUiWindowInfo& info) { return info.style & XEV_BS_TYPEMASK; }

bool IsMultiLine(const XEVUiWindowInfo& info) { return (info.style & XEV_ES_MULTILINE) != 0; }

// "&Delete" shows as Delete with the D underlined; "&&" is a plain '&'.
QString LabelMarkup(const QString& caption) {
  QString out;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    QChar c = caption[i];
    if (c == u'&' && i + 1 < caption.size()) {
      QChar next = caption[++i];
      out += next == u'&' ? QStringLiteral("&amp;") : QStringLiteral("<u>") + QString(next).toHtmlEscaped() + "</u>";
      continue;
    }
    out += c == u'\n' ? QStringLiteral("<br>") : QString(c).toHtmlEscaped();
  }
  return out;
}

// An option button's caption carries a picture name and a colour after '|'.
QString ButtonCaption(const XEVUiWindowInfo& info, const QString& text) {
  if (ButtonType(info) != XEV_BS_AUTORADIOBUTTON) return text;
  return text.section(u'|', 0, 0);
}

QStyle::StandardPixmap IconOf(const std::string& name) {
  if (name == "stop") return QStyle::SP_MessageBoxCritical;
  if (name == "question") return QStyle::SP_MessageBoxQuestion;
  if (name == "exclamation") return QStyle::SP_MessageBoxWarning;
  return QStyle::SP_MessageBoxInformation;
}

// Keeps Qt from acting on a widget by itself: no focus by click or Tab, no
// drops, no context menu; the kit decides, the widget shows.
void MakeDisplayOnly(QWidget* w) {
  w->setFocusPolicy(Qt::NoFocus);
  w->setAcceptDrops(false);
  w->setContextMenuPolicy(Qt::PreventContextMenu);
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
    area->viewport()->setFocusPolicy(Qt::NoFocus);
    area->viewport()->setAcceptDrops(false);
  }
}

// A selection stays visible when the window is not the active one, as the
// kit's edits show it (the error dialog's span must be seen).
void KeepSelectionVisible(QWidget* w) {
  QPalette palette = w->palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  w->setPalette(palette);
}

QWidget* MakeEdit(const XEVUiWindowInfo& info, QWidget* parent) {
  bool border = (info.style & XEV_WS_BORDER) != 0;
  if (IsMultiLine(info)) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setUndoRedoEnabled(false);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy((info.style & XEV_WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (!border) edit->setFrameShape(QFrame::NoFrame);
    edit->document()->setDocumentMargin(1);
    KeepSelectionVisible(edit);
    return edit;
  }
  auto* edit = new QLineEdit(parent);
  edit->setFrame(border);
  if (info.style & XEV_ES_CENTER) edit->setAlignment(Qt::AlignHCenter);
  edit->setTextMargins(0, 0, 0, 0);
  KeepSelectionVisible(edit);
  return edit;
}

QWidget* MakeList(XEVHWND window, const XEVUiWindowInfo& info, QWidget* parent, const std::function<void()>& scrolled) {
  auto* list = new QListWidget(parent);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setUniformItemSizes(true);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setVerticalScrollBarPolicy((info.style & XEV_WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  list->setSpacing(0);
  if (!(info.style & XEV_WS_BORDER)) list->setFrameShape(QFrame::NoFrame);
  list->setItemDelegate(new KitListDelegate(window, (info.style & XEV_LBS_OWNERDRAWFIXED) != 0, list));
  KeepSelectionVisible(list);
  // Scrolling is a person's act the kit must know of: its clicks land on the
  // entries at its own top index.
  // The kit's own scrolling comes back here as well and is left alone.
  QObject::connect(list->verticalScrollBar(), &QScrollBar::valueChanged, list, [window, scrolled](int value) {
    if (XEVUiSendMessage(window, kLbGetTopIndex, 0, 0) == value) return;
    XEVUiSendMessage(window, kLbSetTopIndex, static_cast<uintptr_t>(value), 0);
    scrolled();
  });
  return list;
}

QWidget* MakeButton(const XEVUiWindowInfo& info, QWidget* parent) {
  switch (ButtonType(info)) {
    case XEV_BS_GROUPBOX: {
      auto* box = new QGroupBox(parent);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case XEV_BS_AUTORADIOBUTTON: return new QRadioButton(parent);
    default: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);
      button->setDefault(ButtonType(info) == XEV_BS_DEFPUSHBUTTON);
      return button;
    }
  }
}

QWidget* MakeTopLevel(const XEVUiWindowInfo& info, QWidget* owner) {
  auto* window = new QWidget(owner, owner != nullptr ? Qt::Dialog : Qt::Window);
  if (info.kind == XEV_UI_DIALOG) window->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  QFont font = window->font();
  font.setPixelSize(kFontPixels);
  window->setFont(font);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  return window;
}

void MirrorText(XEVHWND window, Mirrored& m, const CodePageText& codePage) {
  std::string bytes = KitWindowText(window);
  bool changed = bytes != m.text;
  m.text = std::move(bytes);
  QWidget* w = m.widget;
  switch (m.info.kind) {
    case XEV_UI_EDIT: {
      if (!changed && !m.display.byteAt.empty()) return;
      m.display = codePage.ToDisplay(m.text, IsMultiLine(m.info));
      if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) edit->setPlainText(m.display.text);
      else if (auto* line = qobject_cast<QLineEdit*>(w)) line->setText(m.display.text);
      return;
    }
    case XEV_UI_BUTTON: {
      QString caption = ButtonCaption(m.info, codePage.ToUnicode(m.text));
      if (auto* box = qobject_cast<QGroupBox*>(w)) box->setTitle(caption);
      else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(caption);
        // The mnemonic is drawn, but pressing it is the kit's business.
        button->setShortcut(QKeySequence());
      }
      return;
    }
    case XEV_UI_STATIC: {
      auto* label = qobject_cast<QLabel*>(w);
      if (label == nullptr) return;
      if ((m.info.style & kStaticTypeMask) == kStaticIcon) {
        int side = std::min(m.info.rect.right - m.info.rect.left, m.info.rect.bottom - m.info.rect.top);
        label->setPixmap(label->style()->standardIcon(IconOf(m.text)).pixmap(side, side));
        return;
      }
      label->setText(LabelMarkup(codePage.ToUnicode(m.text)));
      return;
    }
    case XEV_UI_WINDOW:
    case XEV_UI_DIALOG: w->setWindowTitle(codePage.ToUnicode(m.text)); return;
    default: return;
  }
}

void MirrorState(Mirrored& m) {
  QWidget* w = m.widget;
  bool topLevel = m.info.parent == nullptr;
  // A disabled owner is the kit's way of keeping a modal dialog's owner
  // inert; Qt would pass that on to the dialog itself, so top-level windows
  // stay enabled and the kit drops their input instead.
  if (!topLevel) w->setEnabled(m.info.enabled != 0);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) edit->setReadOnly((m.info.style & XEV_ES_READONLY) != 0);
  if (auto* line = qobject_cast<QLineEdit*>(w)) line->setReadOnly((m.info.style & XEV_ES_READONLY) != 0);
  bool visible = m.info.visible != 0;
  if (!topLevel) {
    if (w->isHidden() == visible) w->setVisible(visible);
    return;
  }
  if (!visible && w->isVisible()) w->hide();
  if (!visible || w->isVisible()) return;
  w->show();
  // Offscreen there is no stacking to change, and the platform says so loudly.
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
  w->raise();
  w->activateWindow();
}

void MirrorRect(XEVHWND window, Mirrored& m) {
  const XEVUiRect& r = m.info.rect;
  QRect rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (m.info.parent == nullptr) {
    // A resizable dialog takes any size from its template's up; the kit lays
    // its controls out for the size a person gives it.
    int32_t minWidth = 0, minHeight = 0;
    if (XEVUiGetMinimumSize(window, &minWidth, &minHeight)) {
      m.widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      m.widget->resize(rect.size());
      m.widget->setMinimumSize(minWidth, minHeight);
    } else {
      m.widget->setFixedSize(rect.size());
    }
    m.widget->move(rect.topLeft());
    return;
  }
  m.widget->setGeometry(rect);
}

void MirrorSelection(XEVHWND window, Mirrored& m) {
  uint32_t start = 0, end = 0;
  XEVUiSendMessage(window, XEV_EM_GETSEL, reinterpret_cast<uintptr_t>(&start), reinterpret_cast<intptr_t>(&end));
  int32_t from = m.display.PositionOf(static_cast<int32_t>(start));
  int32_t to = m.display.PositionOf(static_cast<int32_t>(end));
  // Without ES_NOHIDESEL a selection shows only while the edit has the focus.
  if (!m.info.focused && !(m.info.style & XEV_ES_NOHIDESEL)) from = to;
  if (auto* edit = qobject_cast<QPlainTextEdit*>(m.widget)) {
    QTextCursor cursor(edit->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    edit->ensureCursorVisible();
  } else if (auto* line = qobject_cast<QLineEdit*>(m.widget)) {
    if (from == to) line->setCursorPosition(to);
    else line->setSelection(from, to - from);
  }
}

// The span the edit's owner marked as wrong is underlined with a red wave.
void MirrorMark(XEVHWND window, Mirrored& m) {
  auto* edit = qobject_cast<QPlainTextEdit*>(m.widget);
  if (edit == nullptr) return;
  int32_t start = 0, end = 0;
  QList<QTextEdit::ExtraSelection> marks;
  if (XEVUiSendMessage(window, XEV_EM_GETMARK, reinterpret_cast<uintptr_t>(&start), reinterpret_cast<intptr_t>(&end))) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(edit->document());
    mark.cursor.setPosition(m.display.PositionOf(start));
    mark.cursor.setPosition(m.display.PositionOf(end), QTextCursor::KeepAnchor);
    mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    mark.format.setUnderlineColor(Qt::red);
    marks << mark;
  }
  edit->setExtraSelections(marks);
}

void MirrorEntries(XEVHWND window, Mirrored& m, const CodePageText& codePage) {
  bool combo = m.info.kind == XEV_UI_COMBOBOX;
  auto count = static_cast<int32_t>(XEVUiSendMessage(window, combo ? XEV_CB_GETCOUNT : XEV_LB_GETCOUNT, 0, 0));
  auto selected = static_cast<int32_t>(XEVUiSendMessage(window, combo ? XEV_CB_GETCURSEL : XEV_LB_GETCURSEL, 0, 0));
  if (auto* box = qobject_cast<QComboBox*>(m.widget)) {
    QSignalBlocker quiet(box);
    box->clear();
    for (int32_t i = 0; i < count; ++i) box->addItem(codePage.ToUnicode(KitEntryText(window, i, true)));
    box->setCurrentIndex(selected);
    return;
  }
  auto* list = qobject_cast<QListWidget*>(m.widget);
  if (list == nullptr) return;
  // The scroll bar is not silenced: the view scrolls its picture on the scroll
  // bar's signal, and a silenced one leaves rows of two places on the screen.
  QSignalBlocker quietList(list);
  // Entries change one by one while a dialog fills a list; only the ones
  // that differ are touched.
  while (list->count() > count) delete list->takeItem(list->count() - 1);
  for (int32_t i = 0; i < count; ++i) {
    QString text = codePage.ToUnicode(KitEntryText(window, i, false));
    if (i < list->count()) {
      if (list->item(i)->text() != text) list->item(i)->setText(text);
    } else {
      list->addItem(text);
    }
  }
  if (selected >= 0 && selected < count) list->setCurrentRow(selected);
  else list->clearSelection(), list->setCurrentRow(-1);
  auto top = static_cast<int32_t>(XEVUiSendMessage(window, kLbGetTopIndex, 0, 0));
  list->verticalScrollBar()->setValue(std::max(top, 0));
}

void MirrorCheck(XEVHWND window, Mirrored& m) {
  auto* button = qobject_cast<QAbstractButton*>(m.widget);
  if (button == nullptr || !button->isCheckable()) return;
  // Radio buttons in one parent exclude each other in Qt; the kit decides.
  button->setAutoExclusive(false);
  button->setChecked(XEVUiSendMessage(window, XEV_BM_GETCHECK, 0, 0) != 0);
}

}  // namespace

std::string KitWindowText(XEVHWND window) {
  auto length = static_cast<int32_t>(XEVUiSendMessage(window, XEV_WM_GETTEXTLENGTH, 0, 0));
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int32_t copied = XEVUiGetWindowText(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

std::string KitEntryText(XEVHWND list, int32_t index, bool comboBox) {
  auto length = static_cast<int32_t>(
      XEVUiSendMessage(list, comboBox ? XEV_CB_GETLBTEXTLEN : XEV_LB_GETTEXTLEN, static_cast<uintptr_t>(index), 0));
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  auto copied = static_cast<int32_t>(XEVUiSendMessage(list, comboBox ? XEV_CB_GETLBTEXT : XEV_LB_GETTEXT,
                                                      static_cast<uintptr_t>(index),
                                                      reinterpret_cast<intptr_t>(text.data())));
  text.resize(static_cast<size_t>(std::clamp(copied, 0, length)));
  return text;
}

QWidget* MakeWidget(XEVHWND window, const XEVUiWindowInfo& info, QWidget* parent,
                    const std::function<void()>& scrolled) {
  QWidget* w = nullptr;
  switch (info.kind) {
    case XEV_UI_EDIT: w = MakeEdit(info, parent); break;
    case XEV_UI_LISTBOX: w = MakeList(window, info, parent, scrolled); break;
    case XEV_UI_COMBOBOX: w = new QComboBox(parent); break;
    case XEV_UI_BUTTON: w = MakeButton(info, parent); break;
    case XEV_UI_STATIC: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::RichText);
      // A one-line static clips its text, as the kit measures it; taller ones wrap.
      label->setWordWrap(info.rect.bottom - info.rect.top >= 2 * XEV_UI_LINE_HEIGHT);
      label->setAlignment((info.style & XEV_SS_CENTER) ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
      w = label;
      break;
    }
    default: w = MakeTopLevel(info, parent); break;
  }
  w->setProperty(kWindowProperty, QVariant::fromValue(reinterpret_cast<quintptr>(window)));
  MakeDisplayOnly(w);
  if (info.parent != nullptr) w->hide();
  return w;
}

void MirrorChanges(XEVHWND window, Mirrored& m, uint32_t what, const CodePageText& text) {
  if (m.widget == nullptr) return;
  if (!XEVUiGetWindowInfo(window, &m.info)) return;
  if (what & XEV_UI_CHANGED_RECT) MirrorRect(window, m);
  if (what & XEV_UI_CHANGED_TEXT) MirrorText(window, m, text);
  if (what & (XEV_UI_CHANGED_TEXT | XEV_UI_CHANGED_SELECTION | XEV_UI_CHANGED_FOCUS) && m.info.kind == XEV_UI_EDIT)
    MirrorSelection(window, m);
  if (what & (XEV_UI_CHANGED_TEXT | XEV_UI_CHANGED_DRAWING) && m.info.kind == XEV_UI_EDIT) MirrorMark(window, m);
  if (what & XEV_UI_CHANGED_ENTRIES) MirrorEntries(window, m, text);
  if (what & XEV_UI_CHANGED_CHECK) MirrorCheck(window, m);
  if (what & (XEV_UI_CHANGED_DRAWING | XEV_UI_CHANGED_FOCUS)) m.widget->update();
  if (auto* area = qobject_cast<QAbstractScrollArea*>(m.widget); area && (what & XEV_UI_CHANGED_DRAWING))
    area->viewport()->update();
  if (what & XEV_UI_CHANGED_STATE) MirrorState(m);
}

}  // namespace xevqt
