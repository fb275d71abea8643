#include "timing/timing_page_qt.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "timing/timing_page.h"

namespace sc {

namespace {

using namespace timing_ids;

struct Field {
  int id;
  const char* caption;
  const char* unit;  // nullptr: a count of pixels or lines
};

// Two columns of fields, as a person reads a timing: rates first, then sizes.
constexpr Field kRates[] = {
    {kPixelClock, "Video clk:", "MHz"}, {kHFreq, "H freq:", "KHz"}, {kVFreq, "V freq:", "Hz"}};
constexpr Field kHorizontal[] = {{kHActive, "H active:", nullptr},
                                 {kHTotal, "H total:", nullptr},
                                 {kHBlank, "H blank:", nullptr},
                                 {kHSyncWidth, "Hs width:", nullptr},
                                 {kHSyncOffset, "Hs offset:", nullptr}};
constexpr Field kVertical[] = {{kVActive, "V active:", nullptr},
                               {kVTotal, "V total:", nullptr},
                               {kVBlank, "V blank:", nullptr},
                               {kVSyncWidth, "Vs width:", nullptr},
                               {kVSyncOffset, "Vs offset:", nullptr}};

// The preview picture is 96 x 64 pixels, drawn two pixels in from the frame's left.
constexpr int kPreviewWidth = 98;
constexpr int kPreviewHeight = 64;

// A value the page shows: read-only (it can take the focus and be copied), right-aligned,
// named by its caption, its unit as its description.
QLineEdit* ValueBox(QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  box->setAlignment(Qt::AlignRight);
  box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 16);
  return box;
}

}  // namespace

TimingPageWidget::TimingPageWidget(TimingPage& page, QWidget* parent) : PageWidget(parent) {
  auto* layout = new QVBoxLayout(this);

  auto* fields = new QGridLayout;
  auto addColumn = [&](const auto& column, int at) {
    int row = 0;
    for (const Field& field : column) {
      auto* caption = new QLabel(QString::fromLatin1(field.caption), this);
      auto* value = ValueBox(this);
      caption->setBuddy(value);
      view_.Bind(field.id, value);
      fields->addWidget(caption, row, at);
      fields->addWidget(value, row, at + 1);
      if (field.unit) {
        value->setAccessibleDescription(QString::fromLatin1(field.unit));
        fields->addWidget(new QLabel(QString::fromLatin1(field.unit), this), row, at + 2);
      }
      ++row;
    }
  };
  addColumn(kRates, 0);
  addColumn(kHorizontal, 3);
  addColumn(kVertical, 6);
  fields->setColumnMinimumWidth(2, 24);
  fields->setColumnMinimumWidth(5, 12);
  fields->setColumnStretch(9, 1);
  layout->addLayout(fields);

  // The radio pairs only show what the core decoded. Each pair has a parent of its own,
  // so that the two pairs of "+" and "-" do not form one group.
  auto* options = new QHBoxLayout;
  auto* polarity = new QGroupBox(QStringLiteral("Sync polarity"), this);
  auto* polarityRows = new QGridLayout(polarity);
  struct Pair {
    int firstId;
    const char* caption;
    const char* first;
    const char* second;
  };
  auto addPair = [this](QGridLayout* grid, int row, const Pair& pair) {
    QLabel* caption = pair.caption ? new QLabel(QString::fromLatin1(pair.caption)) : nullptr;
    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    auto* first = new QRadioButton(QString::fromLatin1(pair.first), buttons);
    auto* second = new QRadioButton(QString::fromLatin1(pair.second), buttons);
    for (QRadioButton* button : {first, second}) {
      button->setEnabled(false);
      buttonRow->addWidget(button);
      if (caption) button->setAccessibleDescription(caption->text().chopped(1));
    }
    buttonRow->addStretch(1);
    view_.BindRadioGroup(pair.firstId, {first, second});
    if (caption) {
      caption->setBuddy(first);
      grid->addWidget(caption, row, 0);
    }
    grid->addWidget(buttons, row, 1);
  };
  addPair(polarityRows, 0, {kHSyncPlus, "Hsync:", "+", "-"});
  addPair(polarityRows, 1, {kVSyncPlus, "Vsync:", "+", "-"});
  options->addWidget(polarity);
  auto* scan = new QGroupBox(QStringLiteral("Scan type"), this);
  auto* scanRows = new QGridLayout(scan);
  addPair(scanRows, 0, {kScanType, nullptr, "Progressive", "Interlace"});
  options->addWidget(scan);
  options->addStretch(1);
  layout->addLayout(options);

  auto* status = new QPushButton(QStringLiteral("Update Status"), this);
  view_.Bind(kUpdateStatus, status);
  connect(status, &QPushButton::clicked, this, [&page] { page.UpdateStatus(); });
  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(status);
  statusRow->addStretch(1);
  layout->addLayout(statusRow);

  // Where the preview picture of the received frame goes, grey until one arrives, and the
  // upload label beside it.
  auto* preview = new QFrame(this);
  preview->setFixedSize(kPreviewWidth, kPreviewHeight);
  preview->setAutoFillBackground(true);
  QPalette grey = preview->palette();
  grey.setColor(QPalette::Window, QColor(64, 64, 64));
  preview->setPalette(grey);
  preview->setAccessibleName(QStringLiteral("Preview"));
  view_.Bind(kPreviewFrame, preview);
  auto* uploadLabel = new QLabel(this);
  view_.Bind(kUploadLabel, uploadLabel);
  auto* captureRow = new QHBoxLayout;
  captureRow->addWidget(preview);
  captureRow->addWidget(uploadLabel, 0, Qt::AlignTop);
  captureRow->addStretch(1);
  layout->addLayout(captureRow);
  layout->addStretch(1);
}

}  // namespace sc
