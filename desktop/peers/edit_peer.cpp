#include "desktop/peers/edit_peer.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "desktop/qt_canvas.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/input.h"

namespace desk {

TEditPeer::TEditPeer(rt::TEdit& edit, QWidget* parent) : QLineEdit(parent), edit_(edit) {
  setContextMenuPolicy(Qt::NoContextMenu);
  setDragEnabled(false);
  setAcceptDrops(false);
  setAttribute(Qt::WA_InputMethodEnabled);
}

void TEditPeer::SyncState() {
  const QString text = Q(edit_.Text());
  if (this->text() != text) setText(text);
  // The runtime's selection: the whole text (entered by Tab) or the caret at the end.
  if (edit_.SelLength() > 0)
    selectAll();
  else
    setCursorPosition(static_cast<int>(text.size()));
  const QColor base = ToQColor(edit_.Color() == rt::clBtnFace ? rt::clWindow : edit_.Color());
  if (palette().color(QPalette::Base) != base) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, base);
    setPalette(colours);
  }
}

void TEditPeer::keyPressEvent(QKeyEvent* event) {
  if (!edit_.Focused()) rt::Input::FocusControl(edit_);
  if (!edit_.Focused()) return;
  switch (event->key()) {
    case Qt::Key_Backspace:
      rt::Input::TypeKey(rt::Input::kBackspace);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      rt::Input::TypeKey(rt::Input::kReturn);
      return;
    case Qt::Key_Escape:
      rt::Input::TypeKey(rt::Input::kEscape);
      return;
    default:
      break;
  }
  if (event->matches(QKeySequence::Paste)) {
    rt::Input::TypeText(QApplication::clipboard() ? QApplication::clipboard()->text().toStdString() : "");
    return;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    rt::Input::TypeText(text.toStdString());
    return;
  }
  event->ignore();  // caret keys and the rest: the runtime keeps the caret at the end
}

void TEditPeer::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) rt::Input::TypeText(event->commitString().toStdString());
  event->accept();
}

bool TEditPeer::event(QEvent* event) {
  // Ctrl and Alt combinations are the menus' short-cuts, not the line edit's.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier) && !key->matches(QKeySequence::Paste)) {
      event->ignore();
      return false;
    }
  }
  return QLineEdit::event(event);
}

void TEditPeer::mousePressEvent(QMouseEvent* event) {
  if (!edit_.Focused()) rt::Input::FocusControl(edit_);
  event->accept();
}

void TEditPeer::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void TEditPeer::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

}  // namespace desk
