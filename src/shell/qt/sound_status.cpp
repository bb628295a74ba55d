#include "shell/qt/sound_status.h"

SoundStatus::SoundStatus(QWidget* parent) : QToolButton(parent) {
  setObjectName(QStringLiteral("SoundStatus"));
  setText(QStringLiteral("音が出ません"));
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  setStyleSheet(QStringLiteral("QToolButton { color: #b00020; font-weight: bold; }"));
  hide();
}

void SoundStatus::ShowFailure(const QString& reason) {
  silent_ = true;
  setToolTip(EditorSoundReason(reason) +
             QStringLiteral("\nクリックすると各種設定の MIDI出力 を開きます"));
  show();
}

void SoundStatus::ShowWorking() {
  silent_ = false;
  setToolTip(QString());
  hide();
}

QString EditorSoundReason(const QString& reason) {
  QString text = reason.isEmpty() ? QStringLiteral("MIDIデバイスが使用できません") : reason;
  int hint = text.indexOf(QStringLiteral("; try --"));
  if (hint >= 0) text.truncate(hint);
  return text;
}
