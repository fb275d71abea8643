#include "timing/timing_page_qt.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "timing/frame_capture.h"
#include "timing/timing_page.h"
#include "window/accessibility_qt.h"
#include "window/qt_host.h"
#include "window/read_only_qt.h"

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

// The preview of the received picture, grey until the first one arrives, drawn at the
// largest whole number of screen pixels a pixel that its place allows (three at the least)
// with every pixel a sharp square (no smoothing, which would blur the bars' edges).
class PreviewPicture : public QWidget {
 public:
  PreviewPicture(const PreviewImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setMinimumSize(kPreviewWidth * kMinimumPreviewScale + 2,
                   kPreviewHeight * kMinimumPreviewScale + 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  QSize sizeHint() const override { return minimumSize(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    // The core's pixels are blue, green, red in memory.
    const QImage picture(image_.data(), kPreviewWidth, kPreviewHeight, kPreviewWidth * 3,
                         QImage::Format_BGR888);
    const QRect shown = PreviewPictureRect(rect());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(shown, picture);
    // A line around the picture only.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(shown.adjusted(-1, -1, 0, 0));
  }

 private:
  const PreviewImage& image_;
};

// A value the page shows: read-only (a click focuses it for copying; Tab passes it by),
// right-aligned, named by its caption, its unit as its description. It widens with the
// page.
QLineEdit* ValueBox(QWidget* parent) {
  auto* box = new QLineEdit(parent);
  MakeReadOnlyValue(box);
  box->setAlignment(Qt::AlignRight);
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 16);
  return box;
}

}  // namespace

QRect PreviewPictureRect(const QRect& area) {
  // One pixel of the area on each side is the line around the picture.
  const QRect inside = area.adjusted(1, 1, -1, -1);
  const int scale =
      std::max(1, std::min(inside.width() / kPreviewWidth, inside.height() / kPreviewHeight));
  return QRect(inside.topLeft(), QSize(kPreviewWidth * scale, kPreviewHeight * scale));
}

TimingPageWidget::TimingPageWidget(TimingPage& page, FrameCapture& capture, QWidget* parent)
    : PageWidget(parent) {
  auto* layout = new QVBoxLayout(this);

  // "No signal", and the line that says the values below are not live.
  auto* notes = new QHBoxLayout;
  auto* signalNote = new QLabel(this);
  signalNote->setTextFormat(Qt::PlainText);
  MarkValueText(signalNote);
  signalNote->setAccessibleDescription(QStringLiteral("Signal"));
  // Bold once it says something. Empty, as the window opens, it does not load the bold
  // face: a millisecond of the start-up.
  view_.BindTextDisplay(kSignalNote, signalNote, [signalNote](const std::string& text) {
    if (!text.empty() && !signalNote->font().bold()) {
      QFont bold = signalNote->font();
      bold.setBold(true);
      signalNote->setFont(bold);
    }
    signalNote->setText(DisplayText(text));  // as the view shows any label's text
  });
  auto* freshness = new QLabel(this);
  MarkValueText(freshness);
  freshness->setAccessibleDescription(QStringLiteral("Values not live"));
  view_.Bind(kFreshnessNote, freshness);
  notes->addWidget(signalNote);
  notes->addSpacing(12);
  notes->addWidget(freshness, 1);
  layout->addLayout(notes);

  // The fields and the radios, greyed together while they are not live.
  auto* values = new QWidget(this);
  auto* valuesLayout = new QVBoxLayout(values);
  valuesLayout->setContentsMargins(0, 0, 0, 0);
  view_.Bind(kTimingFields, values);
  layout->addWidget(values);

  auto* fields = new QGridLayout;
  auto addColumn = [&](const auto& column, int at) {
    int row = 0;
    for (const Field& field : column) {
      auto* caption = new QLabel(QString::fromLatin1(field.caption), values);
      auto* value = ValueBox(values);
      caption->setBuddy(value);
      view_.Bind(field.id, value);
      fields->addWidget(caption, row, at);
      fields->addWidget(value, row, at + 1);
      if (field.unit) {
        value->setAccessibleDescription(QString::fromLatin1(field.unit));
        fields->addWidget(new QLabel(QString::fromLatin1(field.unit), values), row, at + 2);
      }
      ++row;
    }
  };
  addColumn(kRates, 0);
  addColumn(kHorizontal, 3);
  addColumn(kVertical, 6);
  fields->setColumnMinimumWidth(2, 24);
  fields->setColumnMinimumWidth(5, 12);
  // The value boxes share the page's width.
  for (int column : {1, 4, 7})
    fields->setColumnStretch(column, 1);
  valuesLayout->addLayout(fields);

  // The radio pairs only show what the core decoded: readable, never changed by a click.
  // Each pair has a parent of its own, so that the two pairs of "+" and "-" do not form one
  // group.
  auto* options = new QHBoxLayout;
  auto* polarity = new QGroupBox(QStringLiteral("Sync polarity"), values);
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
    auto* first = new ReadOnlyRadioButton(QString::fromLatin1(pair.first), buttons);
    auto* second = new ReadOnlyRadioButton(QString::fromLatin1(pair.second), buttons);
    for (QRadioButton* button : {first, second}) {
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
  auto* scan = new QGroupBox(QStringLiteral("Scan type"), values);
  auto* scanRows = new QGridLayout(scan);
  addPair(scanRows, 0, {kScanType, nullptr, "Progressive", "Interlace"});
  options->addWidget(scan);
  options->addStretch(1);
  valuesLayout->addLayout(options);

  auto* status = new QPushButton(QStringLiteral("Update Status"), this);
  view_.Bind(kUpdateStatus, status);
  connect(status, &QPushButton::clicked, this, [&page] { page.UpdateStatus(); });
  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(status);
  statusRow->addStretch(1);
  layout->addLayout(statusRow);

  // The preview of the received picture, and beside it the capture's controls: "Update
  // Image", the upload label, and "Frame capture", which shows the upload controls.
  auto* preview = new PreviewPicture(capture.previewImage, this);
  preview->setAccessibleName(QStringLiteral("Preview"));
  preview->setAccessibleDescription(QStringLiteral("The received picture, 96 x 64 pixels"));
  view_.Bind(kPreviewFrame, preview);

  auto* updateImage = new QPushButton(QStringLiteral("Update Image"), this);
  view_.Bind(kUpdateImage, updateImage);
  connect(updateImage, &QPushButton::clicked, this, [&capture] { capture.UpdateImage(); });
  auto* uploadLabel = new QLabel(this);
  view_.Bind(kUploadLabel, uploadLabel);
  auto* frameCapture = new QCheckBox(QStringLiteral("Frame capture"), this);
  frameCapture->setChecked(page.captureControlsShown);
  view_.Bind(kFrameCaptureCheck, frameCapture);
  connect(frameCapture, &QCheckBox::toggled, this,
          [&page](bool checked) { page.ShowCaptureControls(checked); });

  auto* uploads = new QWidget(this);
  auto* uploadRows = new QGridLayout(uploads);
  uploadRows->setContentsMargins(0, 0, 0, 0);
  auto* whole = new QPushButton(QStringLiteral("Upload Whole Image"), uploads);
  view_.Bind(kUploadWholeImage, whole);
  connect(whole, &QPushButton::clicked, this, [&capture] { capture.UploadWholeImage(); });
  auto* lineCaption = new QLabel(QStringLiteral("Line No.:"), uploads);
  auto* line = new QSpinBox(uploads);
  line->setRange(1, 100);
  line->setAlignment(Qt::AlignRight);
  lineCaption->setBuddy(line);
  view_.Bind(kLineNumber, line);
  auto* analyse = new QPushButton(QStringLiteral("Line Image data Analyse"), uploads);
  view_.Bind(kLineAnalyse, analyse);
  connect(analyse, &QPushButton::clicked, this, [&capture] { capture.AnalyseLine(); });
  auto* progress = ValueBox(uploads);
  progress->setAccessibleName(QStringLiteral("Upload progress"));
  progress->setAccessibleDescription(QStringLiteral("%"));
  view_.Bind(kUploadProgress, progress);
  auto* percent = new QLabel(QStringLiteral("%"), uploads);
  uploadRows->addWidget(whole, 0, 0, 1, 2);
  uploadRows->addWidget(progress, 0, 2);
  uploadRows->addWidget(percent, 0, 3);
  uploadRows->addWidget(lineCaption, 1, 0);
  uploadRows->addWidget(line, 1, 1);
  uploadRows->addWidget(analyse, 1, 2, 1, 2);
  uploadRows->setColumnStretch(4, 1);
  // Hidden as the layout creates them, until "Frame capture" is checked.
  uploads->setVisible(page.captureControlsShown);
  view_.Bind(kCaptureControls, uploads);

  auto* captureColumn = new QVBoxLayout;
  captureColumn->addWidget(updateImage, 0, Qt::AlignLeft);
  captureColumn->addWidget(uploadLabel);
  captureColumn->addWidget(frameCapture);
  captureColumn->addWidget(uploads);
  captureColumn->addStretch(1);
  // The preview takes the room the page gets when the window grows.
  auto* captureRow = new QHBoxLayout;
  captureRow->addWidget(preview, 1);
  captureRow->addLayout(captureColumn);
  layout->addLayout(captureRow, 1);
}

}  // namespace sc
