// The help window (F1) and the About box: every field and read-out of the
// control form, the end codes in words, the display form's colours and the
// shortcuts, for someone meeting the program for the first time.
#include "forms/qt/qt_forms.h"

#include "forms/qt/words.h"
#include "runtime/parameters.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tb {

namespace {

QString helpText() {
  const QString entropy = Words::tr(kBasinEntropyInWords);
  auto row = [](const QString& name, const QString& meaning) {
    return QString("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(name, meaning);
  };
  QString h =
      "<h2>threebody</h2><p>" +
      Words::tr("A pair of bodies (1 and 2) circles its centre of mass; a third body (3) falls in from far "
                "out. Start runs a series of tests, one per start angle of the pair, from alpha (start) to "
                "alpha (end). Each test ends by itself; its result line goes to the print form.") +
      "</p><h3>" + Words::tr("The fields you type") + "</h3><table cellspacing=4>";
  for (const ParameterField& f : parameterFields())
    h += row(f.label, Words::tr("%1 (default %2)").arg(Words::core(f.what), f.defaultText));
  h +=
      "</table><p>" +
      Words::tr("A field reads its leading number: <i>1,5</i> reads as 1, <i>abc</i> as 0. Such a field is "
                "marked in red as you type, and its tooltip says how it reads.") +
      "</p><h3>" + Words::tr("The read-outs") + "</h3><table cellspacing=4>" +
      row("alpha</b> " + Words::tr("(middle)") + "<b>",
          Words::tr("the start angle of the running test, degrees")) +
      row("dist 1,2", Words::tr("the distance of bodies 1 and 2: least, now, greatest")) +
      row("v escape", Words::tr("the speed body 3 needs to escape the pair from where it is")) +
      row("v3</b>, <b>v3 max", Words::tr("body 3's speed now, and the greatest of the series")) +
      row("r1</b>, <b>r2</b>, <b>r3",
          Words::tr("each body's distance from the pair's centre of mass (the tooltip holds all digits)")) +
      row("Lcycle", Words::tr("the steps of the running test")) +
      row("Phi", Words::tr("the direction of the pair's axis, degrees")) +
      row("revolution", Words::tr("the pair's revolutions counted in this test")) + "</table><h3>" +
      Words::tr("The result line") + "</h3><p>" +
      Words::tr("Each test writes one line into the print form, for example %1. Every number is cut, not "
                "rounded. Hover over a line to read it in words.")
          .arg("<tt>Alpha&nbsp;&nbsp;70 v3 24.702 vesc 21.633 r3&nbsp;&nbsp;103 "
               "dist12&nbsp;&nbsp;199.9&nbsp;&nbsp;200.0&nbsp;&nbsp;200.0 time&nbsp;&nbsp;110 "
               "end&nbsp;&nbsp;1</tt>") +
      "</p><table cellspacing=4>" + row("Alpha", Words::tr("the start angle of the pair, degrees")) +
      row("v3</b>, <b>vesc", Words::tr("body 3's speed and its escape speed from the pair at the test's last "
                                       "display step (length units per time unit)")) +
      row("r3", Words::tr("body 3's distance from the pair's centre of mass then")) +
      row("dist12", Words::tr("the pair's separation over the whole test: least, <i>mean</i>, greatest. (The "
                              "read-out <b>dist 1,2</b> shows least, <i>now</i>, greatest.)")) +
      row("time", Words::tr("the simulated time the test ran, steps times tdelta")) +
      row("end", Words::tr("how it ended, below")) + "</table><p>" +
      Words::tr(
          "When a series is over the control form asks <b>NEXT TEST ?</b>: change the fields if you like "
          "and press Start again.") +
      "</p><h3>" + Words::tr("The model") + "</h3><p>" +
      Words::tr(
          "Newton's gravity with G = 1, in the units of the fields: body 1 has mass 1000, body 2 the mass "
          "m2, "
          "body 3 the mass m3. The pair starts 200 apart on circular orbits about its centre of mass at the "
          "origin, its axis turned by alpha; body 3 starts at distance 500 on the x axis and falls straight "
          "in "
          "at init v3 times its escape speed. Body 3 has <i>approached</i> once it comes within 353.6 (500 "
          "times "
          "the square root of 0.5) of a pair body; after that it <i>collides</i> within 3.16 (the square "
          "root of "
          "10) and is <i>far</i> beyond 790.6 (500 times the square root of 2.5), where it is escaping if "
          "faster "
          "than its escape speed from the two pair bodies. A far body 3 ends the test at the pair's next "
          "revolution from the third on. Each step is tdelta long (semi-implicit Euler). The series runs "
          "from "
          "alpha (start) up to the first angle not below alpha (end), in steps of a tenth of the range: 0.1 "
          "where "
          "that is at most 0.1, 1 up to 1, the tenth itself cut to one decimal up to 10, 10 up to 18, and 20 "
          "beyond (0 and 180 give 19 tests, 10 apart).") +
      "</p><h3>" + Words::tr("How a test ends (the result line's end code)") + "</h3><table cellspacing=4>" +
      row("1", Words::tr("collision: body 3 hit a body of the pair")) +
      row("2", Words::tr("escaped: body 3 went far away faster than its escape speed")) +
      row("3", Words::tr("far but bound: it went far away, slower than its escape speed")) +
      row("4", Words::tr("ten revolutions of the pair")) + row("0", Words::tr("stopped with Stop")) +
      "</table><h3>" + Words::tr("The display form") + "</h3><p>" +
      Words::tr(
          "Trails of the bodies about the pair's centre of mass: body 1 red, body 2 green, light and dark "
          "in turns with each revolution; body 3 black while slower than its escape speed, light red "
          "while faster. The overlay numbers the bodies where they are now and shows the scale, the time "
          "and alpha (right-click the plot to switch it off or to save the image). A click on a result "
          "line shows that test's picture again.") +
      " " +
      Words::tr(
          "For a room: <b>View > Full screen</b> (F11, Esc leaves it) fills the screen with the plot, and "
          "a display form you maximised or sized keeps its size at Start; <b>Thick trails</b> draws every "
          "dot larger for a projector; the <b>Colour-blind safe palette</b> draws body 1 orange, body 2 "
          "blue and the fast body 3 purple, colours that stay apart for every common colour-vision "
          "deficiency.") +
      "</p><h3>" + Words::tr("Shortcuts") + "</h3><table cellspacing=4>" + row("F5", Words::tr("Start")) +
      row("Shift+F5", Words::tr("Stop")) + row("Space", Words::tr("pause or resume the running series")) +
      row(".", Words::tr("while paused, one display step (100 steps) further")) +
      row("F11", Words::tr("the display form full screen, and back")) +
      row("Ctrl+G", Words::tr("the graphs of the running test")) + row("F1", Words::tr("this help")) +
      row("Ctrl+Q", Words::tr("quit")) +
      row("Ctrl+S", Words::tr("save the image (display form) or the results (print form)")) +
      row("Ctrl+C", Words::tr("copy the result lines (print form)")) +
      row("Ctrl+Z", Words::tr("restore the fields a click on the outcome map changed (map window)")) +
      row(Words::tr("Drag, wheel"), Words::tr("zoom into the outcome map (map window)")) +
      row(Words::tr("Shift+drag, arrows"), Words::tr("move the outcome map (map window)")) +
      row("Alt+Left, Alt+Right", Words::tr("the outcome map's view before or after (map window)")) +
      "</table><h3>" + Words::tr("The menus") + "</h3><p>" +
      Words::tr(
          "The menu bar above the control form has every action: <b>File</b> saves the image or the results "
          "and copies the lines, <b>Run</b> starts and stops, sets the speed to watch a test at and, with "
          "<b>Verify outcomes</b>, marks each line with what a reference integration finds (\u2713 "
          "confirmed, "
          "\u2717 an artefact of the step size, ~ fragile, ? undecided; the tooltip says more), <b>View</b> "
          "switches the overlay and true proportions, shows the display and print forms again after closing "
          "them, the <b>results table</b> of every test of the last series (sortable; a click on a row shows "
          "that test's picture) and the <b>graphs</b> of a test over time: its distances, body 3's speed "
          "against its escape speed and the energy error. <b>Examples</b> fills the fields with an "
          "experiment "
          "worth watching (its tooltip says what to watch), and <b>Reset fields</b> puts the defaults back. "
          "<b>Tools</b> opens the <b>outcome map</b>: how the tests end over two of alpha, init v3, m2, m3 "
          "and "
          "tdelta. Hover over a cell to read it, click it to run its test here; the map saves as a picture "
          "or "
          "as the CSV threebody-map continues with --resume.") +
      " " +
      Words::tr("A map comes coarse first and sharpens; drag a rectangle or turn the wheel to zoom in, drag "
                "with Shift or use the arrow keys to move it, and go Back and Forward through the views.") +
      " " + entropy + " " + Words::tr("The right-click menus of the windows offer the same.") + "</p>";
  return h;
}

} // namespace

void QtForms::showHelp() {
  if (!help_) {
    help_ = std::make_unique<QDialog>();
    help_->setWindowTitle(Words::tr("threebody help"));
    auto* text = new QTextBrowser(help_.get());
    text->setHtml(helpText());
    text->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(help_.get());
    layout->addWidget(text);
    help_->resize(560, 640);
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void QtForms::showAbout() {
  QMessageBox box(QMessageBox::Information, Words::tr("About threebody"),
                  Words::tr("threebody %1\n\nGravitational motion of three point masses: a pair circling its "
                            "centre of mass and a third body falling in.\n\nFree software under the MIT "
                            "licence.")
                      .arg(QApplication::applicationVersion()),
                  QMessageBox::Ok, windows_[0]);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

} // namespace tb
