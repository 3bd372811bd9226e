// The help window (F1) and the About box: every field and read-out of the
// control form, the end codes in words, the display form's colours and the
// shortcuts, for someone meeting the program for the first time.
#include "forms/qt/qt_forms.h"

#include "runtime/parameters.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tb {

namespace {

QString helpText() {
  QString h = "<h2>threebody</h2>"
              "<p>A pair of bodies (1 and 2) circles its centre of mass; a third body (3) falls in from far "
              "out. Start runs a series of tests, one per start angle of the pair, from alpha (start) to "
              "alpha (end). Each test ends by itself; its result line goes to the print form.</p>"
              "<h3>The fields you type</h3><table cellspacing=4>";
  for (const ParameterField& f : parameterFields())
    h += QString("<tr><td><b>%1</b></td><td>%2 (default %3)</td></tr>").arg(f.label, f.what, f.defaultText);
  h += "</table><p>A field reads its leading number: <i>1,5</i> reads as 1, <i>abc</i> as 0. Such a field is "
       "marked in red as you type, and its tooltip says how it reads.</p>"
       "<h3>The read-outs</h3><table cellspacing=4>"
       "<tr><td><b>alpha</b> (middle)</td><td>the start angle of the running test, degrees</td></tr>"
       "<tr><td><b>dist 1,2</b></td><td>the distance of bodies 1 and 2: least, now, greatest</td></tr>"
       "<tr><td><b>v escape</b></td><td>the speed body 3 needs to escape the pair from where it is</td></tr>"
       "<tr><td><b>v3</b>, <b>v3 max</b></td><td>body 3's speed now, and the greatest of the series</td></tr>"
       "<tr><td><b>r1</b>, <b>r2</b>, <b>r3</b></td><td>each body's distance from the pair's centre of "
       "mass (the tooltip holds all digits)</td></tr>"
       "<tr><td><b>Lcycle</b></td><td>the steps of the running test</td></tr>"
       "<tr><td><b>Phi</b></td><td>the direction of the pair's axis, degrees</td></tr>"
       "<tr><td><b>revolution</b></td><td>the pair's revolutions counted in this test</td></tr></table>"
       "<h3>The result line</h3><p>Each test writes one line into the print form, for example "
       "<tt>Alpha&nbsp;&nbsp;70 v3 24.702 vesc 21.633 r3&nbsp;&nbsp;103 "
       "dist12&nbsp;&nbsp;199.9&nbsp;&nbsp;200.0"
       "&nbsp;&nbsp;200.0 time&nbsp;&nbsp;110 end&nbsp;&nbsp;1</tt>. Every number is cut, not rounded. Hover "
       "over a line to read it in words.</p><table cellspacing=4>"
       "<tr><td><b>Alpha</b></td><td>the start angle of the pair, degrees</td></tr>"
       "<tr><td><b>v3</b>, <b>vesc</b></td><td>body 3's speed and its escape speed from the pair at the "
       "test's last display step (length units per time unit)</td></tr>"
       "<tr><td><b>r3</b></td><td>body 3's distance from the pair's centre of mass then</td></tr>"
       "<tr><td><b>dist12</b></td><td>the pair's separation over the whole test: least, <i>mean</i>, "
       "greatest. (The read-out <b>dist 1,2</b> shows least, <i>now</i>, greatest.)</td></tr>"
       "<tr><td><b>time</b></td><td>the simulated time the test ran, steps times tdelta</td></tr>"
       "<tr><td><b>end</b></td><td>how it ended, below</td></tr></table>"
       "<p>When a series is over the control form asks <b>NEXT TEST ?</b>: change the fields if you like "
       "and press Start again.</p>"
       "<h3>The model</h3><p>Newton's gravity with G = 1, in the units of the fields: body 1 has mass "
       "1000, body 2 the mass m2, body 3 the mass m3. The pair starts 200 apart on circular orbits about "
       "its centre of mass at the origin, its axis turned by alpha; body 3 starts at distance 500 on the x "
       "axis and falls straight in at init v3 times its escape speed. Body 3 has <i>approached</i> once it "
       "comes within 353.6 (500 times the square root of 0.5) of a pair body; after that it "
       "<i>collides</i> within 3.16 (the square root of 10) and is <i>far</i> beyond 790.6 (500 times the "
       "square root of 2.5), where it is escaping if faster than its escape speed from the two pair bodies. "
       "A far body 3 ends the test at the pair's next revolution from the third on. Each step is tdelta "
       "long (semi-implicit Euler). The series runs from alpha (start) up to the first angle not below "
       "alpha (end), in steps of a tenth of the range: 0.1 where that is at most 0.1, 1 up to 1, the "
       "tenth itself cut to one decimal up to 10, 10 up to 18, and 20 beyond (0 and 180 give 19 tests, "
       "10 apart).</p>"
       "<h3>How a test ends (the result line's end code)</h3><table cellspacing=4>"
       "<tr><td><b>1</b></td><td>collision: body 3 hit a body of the pair</td></tr>"
       "<tr><td><b>2</b></td><td>escaped: body 3 went far away faster than its escape speed</td></tr>"
       "<tr><td><b>3</b></td><td>far but bound: it went far away, slower than its escape speed</td></tr>"
       "<tr><td><b>4</b></td><td>ten revolutions of the pair</td></tr>"
       "<tr><td><b>0</b></td><td>stopped with Stop</td></tr></table>"
       "<h3>The display form</h3><p>Trails of the bodies about the pair's centre of mass: body 1 red, body 2 "
       "green, light and dark in turns with each revolution; body 3 black while slower than its escape "
       "speed, light red while faster. The overlay numbers the bodies where they are now and shows the "
       "scale, the time and alpha (right-click the plot to switch it off or to save the image). A click on "
       "a result line shows that test's picture again.</p>"
       "<h3>Shortcuts</h3><table cellspacing=4>"
       "<tr><td><b>F5</b></td><td>Start</td></tr><tr><td><b>Shift+F5</b></td><td>Stop</td></tr>"
       "<tr><td><b>Space</b></td><td>pause or resume the running series</td></tr>"
       "<tr><td><b>.</b></td><td>while paused, one display step (100 steps) further</td></tr>"
       "<tr><td><b>F1</b></td><td>this help</td></tr><tr><td><b>Ctrl+Q</b></td><td>quit</td></tr>"
       "<tr><td><b>Ctrl+S</b></td><td>save the image (display form) or the results (print form)</td></tr>"
       "<tr><td><b>Ctrl+C</b></td><td>copy the result lines (print form)</td></tr>"
       "<tr><td><b>Ctrl+Z</b></td><td>restore the fields a click on the outcome map changed (map "
       "window)</td></tr></table>"
       "<h3>The menus</h3><p>The menu bar above the control form has every action: <b>File</b> saves the "
       "image or the results and copies the lines, <b>Run</b> starts and stops, sets the speed to "
       "watch a test at and, with <b>Verify outcomes</b>, marks each line with what a reference "
       "integration finds (\u2713 confirmed, \u2717 an artefact of the step size, ~ fragile, ? undecided; "
       "the tooltip says more), <b>View</b> switches the overlay and true proportions and shows the display "
       "and "
       "print forms again after closing them, and the <b>results table</b> of every test of the last "
       "series (sortable; a click on a row shows that test's picture). <b>Examples</b> fills the fields "
       "with an experiment worth watching (its tooltip says what to watch), and <b>Reset fields</b> "
       "puts the defaults back. <b>Tools</b> opens the "
       "<b>outcome map</b>: how the tests end over two of alpha, init v3, m2, m3 and tdelta. Hover over a "
       "cell to read it, click it to run its test here; the map saves as a picture or as the CSV "
       "threebody-map continues with --resume. " +
       QString(kBasinEntropyInWords) + " The right-click menus of the windows offer the same.</p>";
  return h;
}

} // namespace

void QtForms::showHelp() {
  if (!help_) {
    help_ = std::make_unique<QDialog>();
    help_->setWindowTitle("threebody help");
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
  QMessageBox box(QMessageBox::Information, "About threebody",
                  QString("threebody %1\n\nGravitational motion of three point masses: a pair circling its "
                          "centre of mass and a third body falling in.\n\nFree software under the MIT "
                          "licence.")
                      .arg(QApplication::applicationVersion()),
                  QMessageBox::Ok, windows_[0]);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

} // namespace tb
