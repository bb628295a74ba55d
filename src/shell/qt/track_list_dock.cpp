#include "shell/qt/track_list_dock.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include "compiler/driver/driver.h"
#include "player/sequencer.h"
#include "roll/roll_text.h"

namespace {

constexpr int kFlashMs = 120;
constexpr int kLightSize = 10;

QString LightStyle(bool on) {
  return on ? QStringLiteral("background:#30e060;border-radius:5px;border:1px solid #208040;")
            : QStringLiteral("background:#304030;border-radius:5px;border:1px solid #202820;");
}

}  // namespace

QStringList CompiledTrackNames() {
  QStringList names;
  for (int i = 0; i < CompiledTrackCount(); ++i) {
    const std::string& name = CompiledTrackFullName(i);
    names << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  }
  return names;
}

TrackListDock::TrackListDock(QWidget* parent) : QDockWidget(QStringLiteral("トラック"), parent) {
  setObjectName(QStringLiteral("TrackList1"));
  auto* body = new QWidget;
  grid_ = new QGridLayout(body);
  grid_->setContentsMargins(6, 4, 6, 4);
  grid_->setVerticalSpacing(2);
  grid_->addWidget(new QLabel(QStringLiteral("トラック")), 0, 1);
  grid_->addWidget(new QLabel(QStringLiteral("ミュート")), 0, 2);
  grid_->addWidget(new QLabel(QStringLiteral("ソロ")), 0, 3);
  grid_->setRowStretch(1000, 1);
  scroll_ = new QScrollArea;
  scroll_->setWidgetResizable(true);
  scroll_->setWidget(body);
  setWidget(scroll_);
  clock_.start();
}

void TrackListDock::SetTracks(const QStringList& names) {
  if (names == names_) return;
  for (Row& row : rows_) {
    delete row.name;
    delete row.mute;
    delete row.solo;
    delete row.light;
  }
  rows_.clear();
  names_ = names;
  for (int i = 0; i < names.size(); ++i) CreateRow(i, names[i]);
  FitWidth();
}

// Room for every column beside the scroll bar that a long list shows, so
// that the last column is never cut off.
void TrackListDock::FitWidth() {
  const int bar = scroll_->verticalScrollBar()->sizeHint().width();
  scroll_->setMinimumWidth(grid_->sizeHint().width() + bar + 2 * scroll_->frameWidth());
}

void TrackListDock::CreateRow(int track, const QString& name) {
  Row row;
  row.light = new QLabel;
  row.light->setFixedSize(kLightSize, kLightSize);
  row.light->setStyleSheet(LightStyle(false));
  // A square in the track's colour before its name.
  row.name = new QLabel(QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2")
                            .arg(QString::fromLatin1(RollTrackColour(track).c_str()),
                                 name.toHtmlEscaped()));
  row.name->setTextFormat(Qt::RichText);
  row.mute = new QCheckBox;
  row.mute->setChecked(muted_names_.contains(name));
  row.solo = new QCheckBox;
  row.solo->setChecked(soloed_names_.contains(name));
  row.mute->setObjectName(QStringLiteral("Mute_") + name);
  row.solo->setObjectName(QStringLiteral("Solo_") + name);
  connect(row.mute, &QCheckBox::toggled, this, [this, track](bool on) { ToggleMute(track, on); });
  connect(row.solo, &QCheckBox::toggled, this, [this, track](bool on) { ToggleSolo(track, on); });
  const int line = track + 1;
  grid_->addWidget(row.light, line, 0);
  grid_->addWidget(row.name, line, 1);
  grid_->addWidget(row.mute, line, 2);
  grid_->addWidget(row.solo, line, 3);
  // Shown now, not later by the layout, so that the width counts them.
  for (QWidget* w : {static_cast<QWidget*>(row.light), static_cast<QWidget*>(row.name),
                     static_cast<QWidget*>(row.mute), static_cast<QWidget*>(row.solo)}) {
    w->show();
  }
  rows_.push_back(row);
}

void TrackListDock::ToggleMute(int track, bool muted) {
  if (muted) {
    muted_names_.insert(names_[track]);
  } else {
    muted_names_.remove(names_[track]);
  }
  SetTrackMuted(track, muted);
  emit switchesChanged();
}

void TrackListDock::ToggleSolo(int track, bool soloed) {
  if (soloed) {
    soloed_names_.insert(names_[track]);
  } else {
    soloed_names_.remove(names_[track]);
  }
  SetTrackSoloed(track, soloed);
  emit switchesChanged();
}

void TrackListDock::ApplySwitches() const {
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    SetTrackMuted(i, rows_[i].mute->isChecked());
    SetTrackSoloed(i, rows_[i].solo->isChecked());
  }
}

void TrackListDock::SetMuted(int track, bool muted) {
  if (track >= 0 && track < static_cast<int>(rows_.size())) rows_[track].mute->setChecked(muted);
}

void TrackListDock::SetSoloed(int track, bool soloed) {
  if (track >= 0 && track < static_cast<int>(rows_.size())) rows_[track].solo->setChecked(soloed);
}

bool TrackListDock::Muted(int track) const {
  return track >= 0 && track < static_cast<int>(rows_.size()) && rows_[track].mute->isChecked();
}

bool TrackListDock::Soloed(int track) const {
  return track >= 0 && track < static_cast<int>(rows_.size()) && rows_[track].solo->isChecked();
}

void TrackListDock::SetLight(Row& row, bool on) {
  if ((row.lit_until != 0) == on) return;
  row.light->setStyleSheet(LightStyle(on));
  if (!on) row.lit_until = 0;
}

void TrackListDock::Flash(int track) {
  if (track < 0 || track >= static_cast<int>(rows_.size())) return;
  Row& row = rows_[track];
  SetLight(row, true);
  row.lit_until = clock_.elapsed() + kFlashMs;
}

bool TrackListDock::FadeLights() {
  const qint64 now = clock_.elapsed();
  bool any = false;
  for (Row& row : rows_) {
    if (row.lit_until != 0 && row.lit_until <= now) SetLight(row, false);
    any = any || row.lit_until != 0;
  }
  return any;
}

bool TrackListDock::Lit(int track) const {
  return track >= 0 && track < static_cast<int>(rows_.size()) && rows_[track].lit_until != 0;
}

bool TrackListDock::Audible(int track) const {
  if (Muted(track)) return false;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (Soloed(i)) return Soloed(track);
  }
  return true;
}
