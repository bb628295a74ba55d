#include "shell/qt/message_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "shell/qt/window_placement.h"
#include "shell/report_lines.h"

MessageWindow::MessageWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("Quern MIDI Compiler Message"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ListBox1"));
  list_->setUniformItemSizes(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  list_->installEventFilter(this);
  connect(list_, &QListWidget::itemDoubleClicked, this, &MessageWindow::JumpFromSelected);
  connect(list_, &QListWidget::currentRowChanged, this, &MessageWindow::ReportSelectedLine);
  move(464, 109);
  resize(426, 357);
}

void MessageWindow::ApplySettings(const Placement& placement, const FontSetting& font,
                                  bool visible) {
  ApplyPlacement(this, QRect(464, 109, 426, 357), placement);
  ApplyFont(font);
  setVisible(visible);
}

void MessageWindow::ApplyFont(const FontSetting& font) {
  ApplyListFont(list_, font);
}

Placement MessageWindow::CurrentPlacement() const {
  return PlacementOf(this);
}

void MessageWindow::ClearEntries() {
  list_->clear();
  emit selectedLineChanged(-1);
}

void MessageWindow::SetEntries(const QStringList& entries) {
  ClearEntries();
  list_->addItems(entries);
}

void MessageWindow::AppendEntry(const QString& entry) {
  list_->addItem(entry);
}

QStringList MessageWindow::Entries() const {
  QStringList entries;
  for (int i = 0; i < list_->count(); ++i) entries.append(list_->item(i)->text());
  return entries;
}

void MessageWindow::ShowInFront() {
  show();
  raise();
  activateWindow();
}

void MessageWindow::StayInFrontOf(QWidget* owner) {
  owner_ = owner;
  owner->installEventFilter(this);
  TieToOwner();
}

// Both windows need their window-system windows, which each gets when it is
// first shown: tie them when either is.
void MessageWindow::TieToOwner() {
  if (!owner_ || !isWindow() || !windowHandle() || !owner_->windowHandle()) return;
  windowHandle()->setTransientParent(owner_->windowHandle());
}

void MessageWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  TieToOwner();
}

void MessageWindow::JumpFromSelected() {
  QListWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) return;
  if (std::optional<ReportPosition> at = ParseReportEntry(item->text())) {
    emit jumpRequested(at->line, at->column);
  }
}

void MessageWindow::SelectFirstPosition() {
  for (int row = 0; row < list_->count(); ++row) {
    if (ParseReportEntry(list_->item(row)->text())) {
      list_->setCurrentRow(row);
      return;
    }
  }
}

void MessageWindow::ReportSelectedLine() {
  QListWidgetItem* item = list_->currentItem();
  std::optional<ReportPosition> at =
      item ? ParseReportEntry(item->text()) : std::optional<ReportPosition>();
  emit selectedLineChanged(at ? at->line : -1);
}

void MessageWindow::closeEvent(QCloseEvent* event) {
  // The window lives on, hidden, until the application ends.
  hide();
  event->ignore();
  emit closedByUser();
}

bool MessageWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == owner_ && event->type() == QEvent::Show) TieToOwner();
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      JumpFromSelected();
      return true;
    }
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      emit stopRequested();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
