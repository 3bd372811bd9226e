// The widgets of the display and print forms: a window whose close acts like
// End, the plot that keeps every dot in an image (and can show an earlier
// test's picture instead), and the result label that keeps its end code in view.
#pragma once

#include "display/palette.h"

#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

namespace tb {

// A warning whose text is shown as typed: a field's text in it is never read
// as markup.
void warn(QWidget* parent, const QString& title, const QString& text);

// A top-level window whose close acts like the End button.
class FormWindow : public QWidget {
public:
  std::function<void()> onClose;

protected:
  void closeEvent(QCloseEvent* event) override;
};

// The control form: a menu bar above the client area that holds the designed
// controls, so that they keep their places below it. The window's height
// includes the menu bar as a frame would.
class ControlWindow : public FormWindow {
public:
  ControlWindow();
  QMenuBar* menuBar() const { return menuBar_; }
  QWidget* client() const { return client_; }
  // The menu bar's height in pixels: what the window adds to its client area.
  int menuHeight() const;

protected:
  void resizeEvent(QResizeEvent*) override;

private:
  QMenuBar* menuBar_;
  QWidget* client_;
};

// How a field whose text is not what it should be is marked: a colour and a
// frame every style shows.
inline constexpr const char* kMisreadFieldStyle =
    "QLineEdit { background: #ffd8d0; color: black; border: 2px solid #c00000; }";

// What the overlay explains over the plot, in the plot's pixels: where the
// bodies are now, the scale, the time and the test's alpha, and where a
// collision ended the test.
struct PlotOverlay {
  bool running = false;       // a test is under way or has just ended
  QPointF body[3];            // the bodies' positions, numbered 1, 2, 3 on screen
  bool present[3] = {};       // body 3 is gone after a collision
  double pixelsPerUnit = 0;   // world units to pixels along x
  double pixelsPerUnitY = 0;  // and along y: different unless True proportions
  double time = 0, alpha = 0; // the test's simulated time and start angle
  bool collided = false;      // the test ended in a collision at body[2]
  QColor colour[3];           // each body's trail colour now, as the engine chose it
};

// A colour as the engine passes it (red in bits 0-7) for painting.
inline QColor engineColour(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The display form: every dot goes into a retained image, so covered and
// uncovered windows still show their trails. It paints either that live image
// or a kept picture of an earlier test.
class PlotWidget : public FormWindow {
public:
  PlotWidget();
  void clear();
  // The drawing area the engine maps onto: the image a test draws into is
  // this size, centred in the window (empty: the window's size).
  void setDrawingSize(QSize size) { drawingSize_ = size; }
  QSize drawingSize() const { return drawingSize_.isValid() ? drawingSize_ : size(); }
  // The palette the legend and the bodies' rings are painted in.
  TrailPalette palette = TrailPalette::Document;
  // How much larger than at the designed size the overlay is painted over a
  // drawing area of `area` pixels: its text, markers and scale bar grow with
  // the plot (at least 1).
  static double overlayScale(QSizeF area);
  void setPixel(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
    reinterpret_cast<uint32_t*>(image_.scanLine(y))[x] =
        0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    dirty_ = true;
  }
  // The live image the engine draws into.
  const QImage& image() const { return image_; }
  // What the window shows: a kept picture while one is selected, else the live image.
  const QImage& shown() const { return picture_.isNull() ? image_ : picture_; }
  // A kept picture, with the overlay its test ended with (none: no overlay).
  void showPicture(const QImage& picture, std::optional<PlotOverlay> overlay = std::nullopt);
  void showLive();
  bool showsLive() const { return picture_.isNull(); }
  // Schedules a repaint when dots were drawn since the last one.
  void flush();
  // Paints now what was drawn, so the screen holds a test's last dots before
  // the next test clears the image.
  void paintNow();
  // The overlay, painted over the live plot and never into its image: on
  // unless switched off; `overlayState` says what to draw.
  std::function<PlotOverlay()> overlayState;
  // When x and y are drawn at different scales, what the overlay says of it
  // (with a second, upright scale bar); empty when they are alike.
  QString stretchNotice() const;
  // What the overlay shows now: the live state, or the kept picture's own.
  std::optional<PlotOverlay> currentOverlay() const;
  bool overlayOn = true;
  // The plot as the window shows it, the overlay included when `withOverlay`.
  QImage shownWithOverlay(bool withOverlay) const;

protected:
  void paintEvent(QPaintEvent*) override;

private:
  QRectF imageRect(const QImage& img) const;
  void paintOverlay(QPainter& p, const QRectF& target) const;
  std::optional<PlotOverlay> pictureOverlay_;
  QImage image_;
  QImage picture_;
  QSize drawingSize_;
  bool dirty_ = false;
};

// One result line of the print form. Its text is the whole line; it is drawn
// in fixed-width digits so the columns of the lines stand under each other,
// and a line too long for the window is elided in the middle, so its end
// code stays in view (the whole line is then in the tooltip).
class ResultLabel : public QLabel {
public:
  explicit ResultLabel(QWidget* parent);
  // Sets the line; an elided one gets its whole text as the tooltip.
  void setLine(const QString& line);
  // Characters that fit the print form's designed width with this label's font.
  static constexpr int kFittingCharacters = 90;
  // Picks the face for the print form's lines: 90 characters fit `width` pixels.
  static QFont lineFont(int width);
  void setMarked(bool marked);
  bool marked() const { return marked_; }
  // "Verify outcomes": a short mark drawn after the line in its colour, the
  // verdict in words as the tooltip. A new line clears it.
  void setVerdictMark(const QString& mark, const QColor& colour, const QString& tooltip);
  // The line in words, for the tooltip (before the verdict). A new line clears it.
  void setWords(const QString& words);
  const QString& verdictMark() const { return verdictMark_; }
  // The text as drawn, elided when it does not fit the visible width.
  QString drawnText() const;
  std::function<void()> onClick;

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  int visibleWidth() const;
  int markWidth() const;
  void updateToolTip();
  bool marked_ = false;
  QString words_, verdictTip_;
  QString verdictMark_;
  QColor verdictColour_;
};

} // namespace tb
