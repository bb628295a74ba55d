#include "shell/qt/file_browser.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QVBoxLayout>

#include "shell/qt/window_placement.h"

namespace {
const QRect kDesigned(228, 310, 454, 299);
}  // namespace

FileBrowser::FileBrowser(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("TForm2"));
  setModal(true);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ListBox1"));
  list_->setUniformItemSizes(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  list_->installEventFilter(this);
  connect(list_, &QListWidget::itemDoubleClicked, this, &FileBrowser::OpenSelected);
  ApplyPlacement(this, kDesigned, Placement{});
}

void FileBrowser::ApplySettings(const Placement& placement, const FontSetting& font) {
  ApplyPlacement(this, kDesigned, placement);
  ApplyFont(font);
}

void FileBrowser::ApplyFont(const FontSetting& font) {
  ApplyListFont(list_, font);
}

Placement FileBrowser::CurrentPlacement() const {
  return PlacementOf(this);
}

QString FileBrowser::TakeCommandLine(const QStringList& arguments) {
  if (arguments.isEmpty()) return QString();
  model_.StartWith(arguments.first());
  return model_.current_file_path();
}

void FileBrowser::ListDirectory() {
  const Listing& listing = model_.Refresh();
  list_->clear();
  list_->addItems(listing.DisplayLines());
  setWindowTitle(BrowserCaption(listing.directory));
  int selection = model_.SelectionToShow();
  if (selection >= 0) {
    list_->setCurrentRow(selection);
    list_->scrollToItem(list_->item(selection));
  }
}

void FileBrowser::OpenSelected() {
  QListWidgetItem* item = list_->currentItem();
  int line = item && item->isSelected() ? list_->row(item) : -1;
  ScoreBrowser::Choice choice = model_.OpenSelected(line);
  switch (choice.kind) {
    case ScoreBrowser::Choice::kNothing:
      break;
    case ScoreBrowser::Choice::kEnteredDirectory:
      ListDirectory();
      break;
    case ScoreBrowser::Choice::kChoseFile:
      chosen_path_ = choice.path;
      accept();
      break;
  }
}

void FileBrowser::done(int result) {
  QListWidgetItem* item = list_->currentItem();
  model_.Close(item && item->isSelected() ? list_->row(item) : -1);
  if (result != QDialog::Accepted) chosen_path_.clear();
  QDialog::done(result);
}

void FileBrowser::showEvent(QShowEvent* event) {
  chosen_path_.clear();
  ListDirectory();
  list_->setFocus();
  QDialog::showEvent(event);
}

bool FileBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      OpenSelected();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}
