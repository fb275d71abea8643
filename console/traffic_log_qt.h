#pragma once
// The traffic log window: a table of the frames the console sent and received while it
// was open (TrafficLog), a filter by code, Pause, Clear and Save As. Opening it starts the
// recording, closing it stops it. New entries are shown in batches a moment after they
// come, so a stream of frames costs the window one update per batch, and each row is
// formatted only when it is painted.

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "console/traffic_log.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace sc {

class ConsoleDialog;

class TrafficLogModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime, kDirection, kAddress, kCode, kName, kMark, kData, kColumnCount };

  explicit TrafficLogModel(TrafficLog& log, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Brings the rows up to the log: overwritten ones leave the top, new ones are appended.
  void SyncRows();
  // The rows were rebuilt (filter, clear).
  void ResetRows();

 private:
  const TrafficRow& Formatted(int row) const;

  TrafficLog& log_;
  // The row formatted last: a painted row asks for each of its cells in turn.
  mutable uint64_t cachedSerial_ = UINT64_MAX;
  mutable TrafficRow cached_;
};

class TrafficLogWindow : public QWidget {
  Q_OBJECT

 public:
  TrafficLogWindow(ConsoleDialog& dialog, QWidget* parent = nullptr);
  ~TrafficLogWindow() override;

  QTableView* table() const { return table_; }
  TrafficLogModel* model() const { return model_; }
  QLineEdit* filter() const { return filter_; }
  QPushButton* pauseButton() const { return pause_; }
  QLabel* note() const { return note_; }
  // Asks where to save (a file dialog, unless a test sets another chooser); empty cancels.
  std::function<QString()> chooseSavePath;
  // Shows the rows recorded so far at once (the window does so a moment after they come).
  void SyncNow();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape closes the log, as it closes a dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyFilter(const QString& text);
  void Save();

  ConsoleDialog& dialog_;
  TrafficLog& log_;
  TrafficLogModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QPushButton* pause_ = nullptr;
  QLabel* note_ = nullptr;
  QTimer batch_;
};

}  // namespace sc
