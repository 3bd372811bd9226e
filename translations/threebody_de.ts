<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Words</name>
    <message>
        <source>distance (units)</source>
        <translation>Abstand (Einheiten)</translation>
    </message>
    <message>
        <source>body 3 to body 1</source>
        <translation>Körper 3 zu Körper 1</translation>
    </message>
    <message>
        <source>body 3 to body 2</source>
        <translation>Körper 3 zu Körper 2</translation>
    </message>
    <message>
        <source>body 1 to body 2 (the pair)</source>
        <translation>Körper 1 zu Körper 2 (das Paar)</translation>
    </message>
    <message>
        <source>speed (units per time unit)</source>
        <translation>Geschwindigkeit (Einheiten je Zeiteinheit)</translation>
    </message>
    <message>
        <source>speed of body 3</source>
        <translation>Geschwindigkeit von Körper 3</translation>
    </message>
    <message>
        <source>its escape speed from the pair</source>
        <translation>seine Fluchtgeschwindigkeit vom Paar</translation>
    </message>
    <message>
        <source>relative energy error</source>
        <translation>relativer Energiefehler</translation>
    </message>
    <message>
        <source>(E - E at the start) / |E at the start|</source>
        <translation>(E - E zu Beginn) / |E zu Beginn|</translation>
    </message>
    <message>
        <source>time (time units)</source>
        <translation>Zeit (Zeiteinheiten)</translation>
    </message>
    <message>
        <source>The running test</source>
        <translation>Der laufende Versuch</translation>
    </message>
    <message>
        <source>threebody graphs</source>
        <translation>threebody-Graphen</translation>
    </message>
    <message>
        <source>Save image...</source>
        <translation>Bild speichern...</translation>
    </message>
    <message>
        <source>Save CSV...</source>
        <translation>CSV speichern...</translation>
    </message>
    <message>
        <source>Test:</source>
        <translation>Versuch:</translation>
    </message>
    <message>
        <source>The running test (or the last one)</source>
        <translation>Der laufende Versuch (oder der letzte)</translation>
    </message>
    <message>
        <source>Save image</source>
        <translation>Bild speichern</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG-Bilder (*.png)</translation>
    </message>
    <message>
        <source>Save CSV</source>
        <translation>CSV speichern</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Could not encode the graphs as PNG.</source>
        <translation>Die Graphen ließen sich nicht als PNG kodieren.</translation>
    </message>
    <message>
        <source>artefact</source>
        <translation>Artefakt</translation>
    </message>
    <message>
        <source>fragile or undecided</source>
        <translation>heikel oder unentschieden</translation>
    </message>
    <message>
        <source>longer tests darker</source>
        <translation>längere Versuche dunkler</translation>
    </message>
    <message>
        <source>Outcome Map</source>
        <translation>Ausgangskarte</translation>
    </message>
    <message>
        <source>Compute</source>
        <translation>Berechnen</translation>
    </message>
    <message>
        <source>Map the two axes as given, with the control form&apos;s other fields as they were when the map opened</source>
        <translation>Die beiden Achsen wie angegeben kartieren, mit den übrigen Feldern des Steuerfensters, wie sie beim Öffnen der Karte waren</translation>
    </message>
    <message>
        <source>Restore the fields</source>
        <translation>Felder zurücksetzen</translation>
    </message>
    <message>
        <source>Put back the fields the last click on a cell changed (Ctrl+Z)</source>
        <translation>Die Felder zurückholen, die der letzte Klick auf eine Zelle geändert hat (Strg+Z)</translation>
    </message>
    <message>
        <source>fixed step</source>
        <translation>fester Schritt</translation>
    </message>
    <message>
        <source>physical (reference)</source>
        <translation>physikalisch (Referenz)</translation>
    </message>
    <message>
        <source>fixed step, verified</source>
        <translation>fester Schritt, geprüft</translation>
    </message>
    <message>
        <source>fixed step: each point a test as the control form runs it; physical: each point integrated by the reference alone; verified: the fixed step with artefacts dotted black and fragile points white</source>
        <translation>fester Schritt: jeder Punkt ein Versuch, wie das Steuerfenster ihn rechnet; physikalisch: jeder Punkt allein von der Referenz integriert; geprüft: der feste Schritt, Artefakte schwarz und heikle Punkte weiß gepunktet</translation>
    </message>
    <message>
        <source>x axis</source>
        <translation>x-Achse</translation>
    </message>
    <message>
        <source>y axis</source>
        <translation>y-Achse</translation>
    </message>
    <message>
        <source>from</source>
        <translation>von</translation>
    </message>
    <message>
        <source>to</source>
        <translation>bis</translation>
    </message>
    <message>
        <source>points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <source>Outcome map</source>
        <translation>Ausgangskarte</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number of points: type a whole number from 1 to 100000</source>
        <translation>„%1“ ist keine Anzahl von Punkten: eine ganze Zahl von 1 bis 100000 eingeben</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number: type one such as 0.5 or 360</source>
        <translation>„%1“ ist keine Zahl: eine Zahl wie 0.5 oder 360 eingeben</translation>
    </message>
    <message>
        <source>how many points along this axis</source>
        <translation>wie viele Punkte entlang dieser Achse</translation>
    </message>
    <message>
        <source>a value of the axis&apos; field</source>
        <translation>ein Wert des Feldes dieser Achse</translation>
    </message>
    <message>
        <source>%1 axis</source>
        <translation>%1-Achse</translation>
    </message>
    <message>
        <source>x axis: %1</source>
        <translation>x-Achse: %1</translation>
    </message>
    <message>
        <source>y axis: %1</source>
        <translation>y-Achse: %1</translation>
    </message>
    <message>
        <source>the x and y axes are both %1; choose two different fields</source>
        <translation>x- und y-Achse sind beide %1; zwei verschiedene Felder wählen</translation>
    </message>
    <message>
        <source>a physical map does not use tdelta: the reference chooses its own steps; map another field, or choose the fixed step</source>
        <translation>eine physikalische Karte verwendet tdelta nicht: die Referenz wählt ihre Schritte selbst; ein anderes Feld kartieren oder den festen Schritt wählen</translation>
    </message>
    <message>
        <source>the map would have more than 1000000 points; choose fewer points on an axis</source>
        <translation>die Karte hätte mehr als 1000000 Punkte; weniger Punkte auf einer Achse wählen</translation>
    </message>
    <message>
        <source>Fixed: %1. Each point is one test at its alpha.</source>
        <translation>Fest: %1. Jeder Punkt ist ein Versuch bei seinem alpha.</translation>
    </message>
    <message>
        <source>%1 of %2 points</source>
        <translation>%1 von %2 Punkten</translation>
    </message>
    <message>
        <source>Outcome Map (%1 of %2 points)</source>
        <translation>Ausgangskarte (%1 von %2 Punkten)</translation>
    </message>
    <message>
        <source>%1 points: %2</source>
        <translation>%1 Punkte: %2</translation>
    </message>
    <message>
        <source>; %1 artefact</source>
        <translation>; %1 Artefakt</translation>
    </message>
    <message>
        <source>; %1 artefacts</source>
        <translation>; %1 Artefakte</translation>
    </message>
    <message>
        <source>; %1 fragile or undecided</source>
        <translation>; %1 heikel oder unentschieden</translation>
    </message>
    <message>
        <source>; basin entropy %1, boundary %2: %3</source>
        <translation>; Becken-Entropie %1, Grenze %2: %3</translation>
    </message>
    <message>
        <source>fractal (where outcomes meet, nearby points still end differently)</source>
        <translation>fraktal (wo Ausgänge aufeinandertreffen, enden auch benachbarte Punkte verschieden)</translation>
    </message>
    <message>
        <source>not fractal</source>
        <translation>nicht fraktal</translation>
    </message>
    <message>
        <source>; no basin entropy: every box of 5 x 5 points holds one without an outcome</source>
        <translation>; keine Becken-Entropie: jedes Feld aus 5 x 5 Punkten enthält einen ohne Ausgang</translation>
    </message>
    <message>
        <source>%1 (end %2), %3 steps, time %4</source>
        <translation>%1 (Ende %2), %3 Schritte, Zeit %4</translation>
    </message>
    <message>
        <source>Could not encode the map as PNG.</source>
        <translation>Die Karte ließ sich nicht als PNG kodieren.</translation>
    </message>
    <message>
        <source>Basin entropy says how unpredictable the map is. In each square of 5 x 5 neighbouring points it measures how mixed the outcomes are: 0 when all 25 end alike, more the more evenly several outcomes mix (it is -sum p ln p, p the share of each outcome). The map&apos;s value is the mean over its squares; &apos;boundary&apos; is the mean over the squares where outcomes meet. A boundary above ln 2 = 0.693 is called fractal: however closely you look there, neighbouring points still end differently, so the outcome cannot be foretold from nearby points.</source>
        <translation>Die Becken-Entropie sagt, wie unvorhersagbar die Karte ist. In jedem Quadrat aus 5 x 5 benachbarten Punkten misst sie, wie gemischt die Ausgänge sind: 0, wenn alle 25 gleich enden, und umso mehr, je gleichmäßiger sich mehrere Ausgänge mischen (sie ist -Summe p ln p, p der Anteil jedes Ausgangs). Der Wert der Karte ist das Mittel über ihre Quadrate; „Grenze“ ist das Mittel über die Quadrate, in denen Ausgänge aufeinandertreffen. Eine Grenze über ln 2 = 0.693 heißt fraktal: Wie genau man dort auch hinsieht, benachbarte Punkte enden weiterhin verschieden, der Ausgang lässt sich also nicht aus nahen Punkten vorhersagen.</translation>
    </message>
    <message>
        <source>Outcome map...</source>
        <translation>Ausgangskarte...</translation>
    </message>
    <message>
        <source>%1: %2 (default %3)</source>
        <translation>%1: %2 (Vorgabe %3)</translation>
    </message>
    <message>
        <source>%1 - read differently: %2</source>
        <translation>%1 - anders gelesen: %2</translation>
    </message>
    <message>
        <source>threebody: the series was stopped</source>
        <translation>threebody: die Serie wurde angehalten</translation>
    </message>
    <message>
        <source>A pair of bodies (1 and 2) circles its centre of mass; a third body (3) falls in from far out. Start runs a series of tests, one per start angle of the pair, from alpha (start) to alpha (end). Each test ends by itself; its result line goes to the print form.</source>
        <translation>Ein Körperpaar (1 und 2) umkreist seinen Schwerpunkt; ein dritter Körper (3) fällt von weit draußen herein. Start rechnet eine Serie von Versuchen, einen je Startwinkel des Paares, von alpha (start) bis alpha (end). Jeder Versuch endet von selbst; seine Ergebniszeile geht ins Druckfenster.</translation>
    </message>
    <message>
        <source>The fields you type</source>
        <translation>Die Felder, die Sie eingeben</translation>
    </message>
    <message>
        <source>%1 (default %2)</source>
        <translation>%1 (Vorgabe %2)</translation>
    </message>
    <message>
        <source>A field reads its leading number: &lt;i&gt;1,5&lt;/i&gt; reads as 1, &lt;i&gt;abc&lt;/i&gt; as 0. Such a field is marked in red as you type, and its tooltip says how it reads.</source>
        <translation>Ein Feld liest seine führende Zahl: &lt;i&gt;1,5&lt;/i&gt; liest sich als 1, &lt;i&gt;abc&lt;/i&gt; als 0. Ein solches Feld wird beim Tippen rot markiert, und sein Tooltip sagt, wie es gelesen wird.</translation>
    </message>
    <message>
        <source>The read-outs</source>
        <translation>Die Anzeigen</translation>
    </message>
    <message>
        <source>(middle)</source>
        <translation>(Mitte)</translation>
    </message>
    <message>
        <source>the start angle of the running test, degrees</source>
        <translation>der Startwinkel des laufenden Versuchs, in Grad</translation>
    </message>
    <message>
        <source>the distance of bodies 1 and 2: least, now, greatest</source>
        <translation>der Abstand der Körper 1 und 2: kleinster, jetziger, größter</translation>
    </message>
    <message>
        <source>the speed body 3 needs to escape the pair from where it is</source>
        <translation>die Geschwindigkeit, die Körper 3 braucht, um dem Paar von seinem Ort aus zu entkommen</translation>
    </message>
    <message>
        <source>body 3&apos;s speed now, and the greatest of the series</source>
        <translation>die Geschwindigkeit von Körper 3 jetzt und die größte der Serie</translation>
    </message>
    <message>
        <source>each body&apos;s distance from the pair&apos;s centre of mass (the tooltip holds all digits)</source>
        <translation>der Abstand jedes Körpers vom Schwerpunkt des Paares (der Tooltip enthält alle Stellen)</translation>
    </message>
    <message>
        <source>the steps of the running test</source>
        <translation>die Schritte des laufenden Versuchs</translation>
    </message>
    <message>
        <source>the direction of the pair&apos;s axis, degrees</source>
        <translation>die Richtung der Achse des Paares, in Grad</translation>
    </message>
    <message>
        <source>the pair&apos;s revolutions counted in this test</source>
        <translation>die in diesem Versuch gezählten Umläufe des Paares</translation>
    </message>
    <message>
        <source>The result line</source>
        <translation>Die Ergebniszeile</translation>
    </message>
    <message>
        <source>Each test writes one line into the print form, for example %1. Every number is cut, not rounded. Hover over a line to read it in words.</source>
        <translation>Jeder Versuch schreibt eine Zeile ins Druckfenster, zum Beispiel %1. Jede Zahl ist abgeschnitten, nicht gerundet. Fahren Sie mit der Maus über eine Zeile, um sie in Worten zu lesen.</translation>
    </message>
    <message>
        <source>the start angle of the pair, degrees</source>
        <translation>der Startwinkel des Paares, in Grad</translation>
    </message>
    <message>
        <source>body 3&apos;s speed and its escape speed from the pair at the test&apos;s last display step (length units per time unit)</source>
        <translation>die Geschwindigkeit von Körper 3 und seine Fluchtgeschwindigkeit vom Paar im letzten Anzeigeschritt des Versuchs (Längeneinheiten je Zeiteinheit)</translation>
    </message>
    <message>
        <source>body 3&apos;s distance from the pair&apos;s centre of mass then</source>
        <translation>der Abstand von Körper 3 vom Schwerpunkt des Paares zu dieser Zeit</translation>
    </message>
    <message>
        <source>the pair&apos;s separation over the whole test: least, &lt;i&gt;mean&lt;/i&gt;, greatest. (The read-out &lt;b&gt;dist 1,2&lt;/b&gt; shows least, &lt;i&gt;now&lt;/i&gt;, greatest.)</source>
        <translation>der Abstand im Paar über den ganzen Versuch: kleinster, &lt;i&gt;mittlerer&lt;/i&gt;, größter. (Die Anzeige &lt;b&gt;dist 1,2&lt;/b&gt; zeigt kleinsten, &lt;i&gt;jetzigen&lt;/i&gt;, größten.)</translation>
    </message>
    <message>
        <source>the simulated time the test ran, steps times tdelta</source>
        <translation>die simulierte Zeit, die der Versuch lief: Schritte mal tdelta</translation>
    </message>
    <message>
        <source>how it ended, below</source>
        <translation>wie er endete, siehe unten</translation>
    </message>
    <message>
        <source>When a series is over the control form asks &lt;b&gt;NEXT TEST ?&lt;/b&gt;: change the fields if you like and press Start again.</source>
        <translation>Ist eine Serie vorbei, fragt das Steuerfenster &lt;b&gt;NEXT TEST ?&lt;/b&gt;: ändern Sie die Felder, wenn Sie möchten, und drücken Sie wieder Start.</translation>
    </message>
    <message>
        <source>The model</source>
        <translation>Das Modell</translation>
    </message>
    <message>
        <source>Newton&apos;s gravity with G = 1, in the units of the fields: body 1 has mass 1000, body 2 the mass m2, body 3 the mass m3. The pair starts 200 apart on circular orbits about its centre of mass at the origin, its axis turned by alpha; body 3 starts at distance 500 on the x axis and falls straight in at init v3 times its escape speed. Body 3 has &lt;i&gt;approached&lt;/i&gt; once it comes within 353.6 (500 times the square root of 0.5) of a pair body; after that it &lt;i&gt;collides&lt;/i&gt; within 3.16 (the square root of 10) and is &lt;i&gt;far&lt;/i&gt; beyond 790.6 (500 times the square root of 2.5), where it is escaping if faster than its escape speed from the two pair bodies. A far body 3 ends the test at the pair&apos;s next revolution from the third on. Each step is tdelta long (semi-implicit Euler). The series runs from alpha (start) up to the first angle not below alpha (end), in steps of a tenth of the range: 0.1 where that is at most 0.1, 1 up to 1, the tenth itself cut to one decimal up to 10, 10 up to 18, and 20 beyond (0 and 180 give 19 tests, 10 apart).</source>
        <translation>Newtons Gravitation mit G = 1, in den Einheiten der Felder: Körper 1 hat die Masse 1000, Körper 2 die Masse m2, Körper 3 die Masse m3. Das Paar beginnt 200 voneinander entfernt auf Kreisbahnen um seinen Schwerpunkt im Ursprung, seine Achse um alpha gedreht; Körper 3 beginnt im Abstand 500 auf der x-Achse und fällt geradewegs herein, mit init v3 mal seiner Fluchtgeschwindigkeit. Körper 3 hat sich &lt;i&gt;genähert&lt;/i&gt;, sobald er einem Körper des Paares näher als 353.6 kommt (500 mal die Wurzel aus 0.5); danach &lt;i&gt;kollidiert&lt;/i&gt; er innerhalb von 3.16 (die Wurzel aus 10) und ist &lt;i&gt;fern&lt;/i&gt; jenseits von 790.6 (500 mal die Wurzel aus 2.5), wo er entweicht, wenn er schneller ist als seine Fluchtgeschwindigkeit von den beiden Körpern des Paares. Ein ferner Körper 3 beendet den Versuch beim nächsten Umlauf des Paares ab dem dritten. Jeder Schritt ist tdelta lang (halbimpliziter Euler). Die Serie läuft von alpha (start) bis zum ersten Winkel nicht unter alpha (end), in Schritten von einem Zehntel des Bereichs: 0.1, wo dieses höchstens 0.1 ist, 1 bis 1, das Zehntel selbst auf eine Dezimale abgeschnitten bis 10, 10 bis 18 und 20 darüber (0 und 180 ergeben 19 Versuche, 10 auseinander).</translation>
    </message>
    <message>
        <source>How a test ends (the result line&apos;s end code)</source>
        <translation>Wie ein Versuch endet (der Endcode der Ergebniszeile)</translation>
    </message>
    <message>
        <source>collision: body 3 hit a body of the pair</source>
        <translation>Zusammenstoß: Körper 3 traf einen Körper des Paares</translation>
    </message>
    <message>
        <source>escaped: body 3 went far away faster than its escape speed</source>
        <translation>entwichen: Körper 3 entfernte sich weit, schneller als seine Fluchtgeschwindigkeit</translation>
    </message>
    <message>
        <source>far but bound: it went far away, slower than its escape speed</source>
        <translation>fern, aber gebunden: er entfernte sich weit, langsamer als seine Fluchtgeschwindigkeit</translation>
    </message>
    <message>
        <source>ten revolutions of the pair</source>
        <translation>zehn Umläufe des Paares</translation>
    </message>
    <message>
        <source>stopped with Stop</source>
        <translation>mit Stop angehalten</translation>
    </message>
    <message>
        <source>The display form</source>
        <translation>Das Anzeigefenster</translation>
    </message>
    <message>
        <source>Trails of the bodies about the pair&apos;s centre of mass: body 1 red, body 2 green, light and dark in turns with each revolution; body 3 black while slower than its escape speed, light red while faster. The overlay numbers the bodies where they are now and shows the scale, the time and alpha (right-click the plot to switch it off or to save the image). A click on a result line shows that test&apos;s picture again.</source>
        <translation>Spuren der Körper um den Schwerpunkt des Paares: Körper 1 rot, Körper 2 grün, hell und dunkel im Wechsel mit jedem Umlauf; Körper 3 schwarz, solange er langsamer als seine Fluchtgeschwindigkeit ist, hellrot, solange schneller. Die Einblendung nummeriert die Körper dort, wo sie jetzt sind, und zeigt den Maßstab, die Zeit und alpha (Rechtsklick auf das Bild, um sie auszuschalten oder das Bild zu speichern). Ein Klick auf eine Ergebniszeile zeigt das Bild dieses Versuchs wieder.</translation>
    </message>
    <message>
        <source>For a room: &lt;b&gt;View &gt; Full screen&lt;/b&gt; (F11, Esc leaves it) fills the screen with the plot, and a display form you maximised or sized keeps its size at Start; &lt;b&gt;Thick trails&lt;/b&gt; draws every dot larger for a projector; the &lt;b&gt;Colour-blind safe palette&lt;/b&gt; draws body 1 orange, body 2 blue and the fast body 3 purple, colours that stay apart for every common colour-vision deficiency.</source>
        <translation>Für einen Raum: &lt;b&gt;Ansicht &gt; Vollbild&lt;/b&gt; (F11, Esc beendet es) füllt den Bildschirm mit dem Bild, und ein Anzeigefenster, das Sie maximiert oder in der Größe geändert haben, behält seine Größe beim Start; &lt;b&gt;Dicke Spuren&lt;/b&gt; zeichnet jeden Punkt größer für einen Projektor; die &lt;b&gt;farbenblind-sichere Palette&lt;/b&gt; zeichnet Körper 1 orange, Körper 2 blau und den schnellen Körper 3 violett, Farben, die bei jeder häufigen Farbsehschwäche unterscheidbar bleiben.</translation>
    </message>
    <message>
        <source>Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>pause or resume the running series</source>
        <translation>die laufende Serie anhalten oder fortsetzen</translation>
    </message>
    <message>
        <source>while paused, one display step (100 steps) further</source>
        <translation>angehalten: einen Anzeigeschritt (100 Schritte) weiter</translation>
    </message>
    <message>
        <source>the display form full screen, and back</source>
        <translation>das Anzeigefenster als Vollbild, und zurück</translation>
    </message>
    <message>
        <source>the graphs of the running test</source>
        <translation>die Graphen des laufenden Versuchs</translation>
    </message>
    <message>
        <source>this help</source>
        <translation>diese Hilfe</translation>
    </message>
    <message>
        <source>quit</source>
        <translation>beenden</translation>
    </message>
    <message>
        <source>save the image (display form) or the results (print form)</source>
        <translation>das Bild speichern (Anzeigefenster) oder die Ergebnisse (Druckfenster)</translation>
    </message>
    <message>
        <source>copy the result lines (print form)</source>
        <translation>die Ergebniszeilen kopieren (Druckfenster)</translation>
    </message>
    <message>
        <source>restore the fields a click on the outcome map changed (map window)</source>
        <translation>die Felder zurückholen, die ein Klick auf die Ausgangskarte geändert hat (Kartenfenster)</translation>
    </message>
    <message>
        <source>The menus</source>
        <translation>Die Menüs</translation>
    </message>
    <message>
        <source>The menu bar above the control form has every action: &lt;b&gt;File&lt;/b&gt; saves the image or the results and copies the lines, &lt;b&gt;Run&lt;/b&gt; starts and stops, sets the speed to watch a test at and, with &lt;b&gt;Verify outcomes&lt;/b&gt;, marks each line with what a reference integration finds (✓ confirmed, ✗ an artefact of the step size, ~ fragile, ? undecided; the tooltip says more), &lt;b&gt;View&lt;/b&gt; switches the overlay and true proportions, shows the display and print forms again after closing them, the &lt;b&gt;results table&lt;/b&gt; of every test of the last series (sortable; a click on a row shows that test&apos;s picture) and the &lt;b&gt;graphs&lt;/b&gt; of a test over time: its distances, body 3&apos;s speed against its escape speed and the energy error. &lt;b&gt;Examples&lt;/b&gt; fills the fields with an experiment worth watching (its tooltip says what to watch), and &lt;b&gt;Reset fields&lt;/b&gt; puts the defaults back. &lt;b&gt;Tools&lt;/b&gt; opens the &lt;b&gt;outcome map&lt;/b&gt;: how the tests end over two of alpha, init v3, m2, m3 and tdelta. Hover over a cell to read it, click it to run its test here; the map saves as a picture or as the CSV threebody-map continues with --resume.</source>
        <translation>Die Menüleiste über dem Steuerfenster hat jede Aktion: &lt;b&gt;Datei&lt;/b&gt; speichert das Bild oder die Ergebnisse und kopiert die Zeilen, &lt;b&gt;Ablauf&lt;/b&gt; startet und stoppt, stellt die Geschwindigkeit zum Zuschauen ein und markiert mit &lt;b&gt;Ausgänge prüfen&lt;/b&gt; jede Zeile mit dem, was eine Referenzintegration findet (✓ bestätigt, ✗ ein Artefakt der Schrittweite, ~ heikel, ? unentschieden; der Tooltip sagt mehr), &lt;b&gt;Ansicht&lt;/b&gt; schaltet die Einblendung und die wahren Proportionen, zeigt Anzeige- und Druckfenster nach dem Schließen wieder, die &lt;b&gt;Ergebnistabelle&lt;/b&gt; aller Versuche der letzten Serie (sortierbar; ein Klick auf eine Zeile zeigt das Bild dieses Versuchs) und die &lt;b&gt;Graphen&lt;/b&gt; eines Versuchs über die Zeit: seine Abstände, die Geschwindigkeit von Körper 3 gegen seine Fluchtgeschwindigkeit und den Energiefehler. &lt;b&gt;Beispiele&lt;/b&gt; füllt die Felder mit einem sehenswerten Experiment (sein Tooltip sagt, worauf zu achten ist), und &lt;b&gt;Felder auf Vorgaben&lt;/b&gt; stellt die Vorgaben wieder her. &lt;b&gt;Extras&lt;/b&gt; öffnet die &lt;b&gt;Ausgangskarte&lt;/b&gt;: wie die Versuche über zwei von alpha, init v3, m2, m3 und tdelta enden. Fahren Sie über eine Zelle, um sie zu lesen, klicken Sie sie, um ihren Versuch hier zu rechnen; die Karte speichert sich als Bild oder als CSV, die threebody-map mit --resume fortsetzt.</translation>
    </message>
    <message>
        <source>The right-click menus of the windows offer the same.</source>
        <translation>Die Rechtsklick-Menüs der Fenster bieten dasselbe.</translation>
    </message>
    <message>
        <source>threebody help</source>
        <translation>threebody-Hilfe</translation>
    </message>
    <message>
        <source>About threebody</source>
        <translation>Über threebody</translation>
    </message>
    <message>
        <source>threebody %1

Gravitational motion of three point masses: a pair circling its centre of mass and a third body falling in.

Free software under the MIT licence.</source>
        <translation>threebody %1

Gravitationsbewegung dreier Punktmassen: ein Paar, das seinen Schwerpunkt umkreist, und ein dritter Körper, der hereinfällt.

Freie Software unter der MIT-Lizenz.</translation>
    </message>
    <message>
        <source>The running test: alpha = %1</source>
        <translation>Der laufende Versuch: alpha = %1</translation>
    </message>
    <message>
        <source>Test %1: %2</source>
        <translation>Versuch %1: %2</translation>
    </message>
    <message>
        <source>Could not write %1 (%2). Any earlier file of that name is unchanged.</source>
        <translation>%1 ließ sich nicht schreiben (%2). Eine frühere Datei dieses Namens ist unverändert.</translation>
    </message>
    <message>
        <source>Could not encode the picture as PNG.</source>
        <translation>Das Bild ließ sich nicht als PNG kodieren.</translation>
    </message>
    <message>
        <source>Save image without overlay...</source>
        <translation>Bild ohne Einblendung speichern...</translation>
    </message>
    <message>
        <source>Show overlay</source>
        <translation>Einblendung zeigen</translation>
    </message>
    <message>
        <source>True proportions (from the next test)</source>
        <translation>Wahre Proportionen (ab dem nächsten Versuch)</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>Thick trails</source>
        <translation>Dicke Spuren</translation>
    </message>
    <message>
        <source>Colour-blind safe palette</source>
        <translation>Farbenblind-sichere Palette</translation>
    </message>
    <message>
        <source>Copy lines</source>
        <translation>Zeilen kopieren</translation>
    </message>
    <message>
        <source>Save results...</source>
        <translation>Ergebnisse speichern...</translation>
    </message>
    <message>
        <source>Save results</source>
        <translation>Ergebnisse speichern</translation>
    </message>
    <message>
        <source>Results table</source>
        <translation>Ergebnistabelle</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Geschwindigkeit</translation>
    </message>
    <message>
        <source>Full speed</source>
        <translation>Volle Geschwindigkeit</translation>
    </message>
    <message>
        <source>%1 time units a second</source>
        <translation>%1 Zeiteinheiten je Sekunde</translation>
    </message>
    <message>
        <source>A series is running: press Stop, then click the cell again to run its test.</source>
        <translation>Eine Serie läuft: Stop drücken, dann die Zelle erneut klicken, um ihren Versuch zu rechnen.</translation>
    </message>
    <message>
        <source>A series is running: press Stop, then restore the fields.</source>
        <translation>Eine Serie läuft: Stop drücken, dann die Felder zurückholen.</translation>
    </message>
    <message>
        <source>No click on the map has changed the fields.</source>
        <translation>Kein Klick auf die Karte hat die Felder geändert.</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>Schritt</translation>
    </message>
    <message>
        <source>Show the display and print forms</source>
        <translation>Anzeige- und Druckfenster zeigen</translation>
    </message>
    <message>
        <source>Graphs</source>
        <translation>Graphen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Ablauf</translation>
    </message>
    <message>
        <source>Verify outcomes</source>
        <translation>Ausgänge prüfen</translation>
    </message>
    <message>
        <source>Judge each test&apos;s outcome by a reference integration: ✓ confirmed, ✗ artefact of the step size, ~ fragile, ? undecided</source>
        <translation>Den Ausgang jedes Versuchs mit einer Referenzintegration beurteilen: ✓ bestätigt, ✗ Artefakt der Schrittweite, ~ heikel, ? unentschieden</translation>
    </message>
    <message>
        <source>&amp;Examples</source>
        <translation>&amp;Beispiele</translation>
    </message>
    <message>
        <source>Reset fields</source>
        <translation>Felder auf Vorgaben</translation>
    </message>
    <message>
        <source>Put every field back to its default</source>
        <translation>Jedes Feld auf seine Vorgabe zurücksetzen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <source>test</source>
        <translation>Versuch</translation>
    </message>
    <message>
        <source>end in words</source>
        <translation>Ende in Worten</translation>
    </message>
    <message>
        <source>Copy rows</source>
        <translation>Zeilen kopieren</translation>
    </message>
    <message>
        <source>stretched: y drawn %1 × x (View &gt; True proportions)</source>
        <translation>gestreckt: y gezeichnet %1 × x (Ansicht &gt; Wahre Proportionen)</translation>
    </message>
    <message>
        <source>1  pair, even revolutions</source>
        <translation>1  Paar, gerade Umläufe</translation>
    </message>
    <message>
        <source>1  pair, odd revolutions</source>
        <translation>1  Paar, ungerade Umläufe</translation>
    </message>
    <message>
        <source>2  pair, even revolutions</source>
        <translation>2  Paar, gerade Umläufe</translation>
    </message>
    <message>
        <source>2  pair, odd revolutions</source>
        <translation>2  Paar, ungerade Umläufe</translation>
    </message>
    <message>
        <source>3  slower than escape speed</source>
        <translation>3  langsamer als Fluchtgeschwindigkeit</translation>
    </message>
    <message>
        <source>3  faster than escape speed</source>
        <translation>3  schneller als Fluchtgeschwindigkeit</translation>
    </message>
    <message>
        <source>%1 units</source>
        <translation>%1 Einheiten</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>The view before this one (Alt+Left)</source>
        <translation>Die Ansicht vor dieser (Alt+Links)</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Vor</translation>
    </message>
    <message>
        <source>The view after this one (Alt+Right)</source>
        <translation>Die Ansicht nach dieser (Alt+Rechts)</translation>
    </message>
    <message>
        <source>Copy command</source>
        <translation>Befehl kopieren</translation>
    </message>
    <message>
        <source>Copy the threebody-map command that computes this view</source>
        <translation>Den threebody-map-Befehl kopieren, der diese Ansicht berechnet</translation>
    </message>
    <message>
        <source>Drag, wheel</source>
        <translation>Ziehen, Mausrad</translation>
    </message>
    <message>
        <source>zoom into the outcome map (map window)</source>
        <translation>in die Ausgangskarte hineinzoomen (Kartenfenster)</translation>
    </message>
    <message>
        <source>Shift+drag, arrows</source>
        <translation>Umschalt+Ziehen, Pfeiltasten</translation>
    </message>
    <message>
        <source>move the outcome map (map window)</source>
        <translation>die Ausgangskarte verschieben (Kartenfenster)</translation>
    </message>
    <message>
        <source>the outcome map&apos;s view before or after (map window)</source>
        <translation>die Ansicht der Ausgangskarte davor oder danach (Kartenfenster)</translation>
    </message>
    <message>
        <source>A map comes coarse first and sharpens; drag a rectangle or turn the wheel to zoom in, drag with Shift or use the arrow keys to move it, and go Back and Forward through the views.</source>
        <translation>Eine Karte erscheint zuerst grob und wird dann schärfer; ein Rechteck ziehen oder das Mausrad drehen zoomt hinein, Ziehen mit Umschalt oder die Pfeiltasten verschieben sie, und Zurück und Vor gehen durch die Ansichten.</translation>
    </message>
</context>
<context>
    <name>threebody</name>
    <message>
        <source>A quick collision</source>
        <translation>Ein schneller Zusammenstoß</translation>
    </message>
    <message>
        <source>Body 3 comes in fast and hits a pair body at t = 76, before the pair has turned once.</source>
        <translation>Körper 3 kommt schnell herein und trifft bei t = 76 einen Körper des Paares, bevor das Paar sich einmal gedreht hat.</translation>
    </message>
    <message>
        <source>An escape after a close pass</source>
        <translation>Ein Entweichen nach knappem Vorbeiflug</translation>
    </message>
    <message>
        <source>Body 3 passes 3.17 from a pair body, just outside the collision distance 3.16, and is flung out faster than its escape speed.</source>
        <translation>Körper 3 fliegt 3.17 an einem Körper des Paares vorbei, knapp außerhalb des Stoßabstands 3.16, und wird schneller als seine Fluchtgeschwindigkeit hinausgeschleudert.</translation>
    </message>
    <message>
        <source>Far but bound</source>
        <translation>Fern, aber gebunden</translation>
    </message>
    <message>
        <source>Slow body 3 swings past the pair and goes far out, but slower than its escape speed: it would come back.</source>
        <translation>Der langsame Körper 3 schwingt am Paar vorbei und entfernt sich weit, aber langsamer als seine Fluchtgeschwindigkeit: er käme zurück.</translation>
    </message>
    <message>
        <source>Ten full revolutions</source>
        <translation>Zehn volle Umläufe</translation>
    </message>
    <message>
        <source>Body 3 stays near the pair while the pair turns ten times (t = 3577); watch the trails change shade with each turn.</source>
        <translation>Körper 3 bleibt beim Paar, während das Paar sich zehnmal dreht (t = 3577); achten Sie darauf, wie die Spuren mit jedem Umlauf die Tönung wechseln.</translation>
    </message>
    <message>
        <source>On a chaotic boundary</source>
        <translation>Auf einer chaotischen Grenze</translation>
    </message>
    <message>
        <source>The pair turns ten times here, but turning it by a millionth of a radian changes the outcome: Run &gt; Verify outcomes marks it ~ fragile.</source>
        <translation>Das Paar dreht sich hier zehnmal, aber eine Drehung um ein Millionstel Radiant ändert den Ausgang: Ablauf &gt; Ausgänge prüfen markiert ihn ~ heikel.</translation>
    </message>
    <message>
        <source>A heavy third body</source>
        <translation>Ein schwerer dritter Körper</translation>
    </message>
    <message>
        <source>Body 3 of mass 300 tears the pair apart: its separation swings between 65 and 534 before body 3 escapes.</source>
        <translation>Körper 3 der Masse 300 reißt das Paar auseinander: sein Abstand schwankt zwischen 65 und 534, bevor Körper 3 entweicht.</translation>
    </message>
    <message>
        <source>start angle of the series, degrees</source>
        <translation>Startwinkel der Serie, in Grad</translation>
    </message>
    <message>
        <source>end angle of the series, degrees</source>
        <translation>Endwinkel der Serie, in Grad</translation>
    </message>
    <message>
        <source>time step of the integration</source>
        <translation>Zeitschritt der Integration</translation>
    </message>
    <message>
        <source>third body&apos;s start speed, fraction of its escape speed</source>
        <translation>Startgeschwindigkeit des dritten Körpers, als Bruchteil seiner Fluchtgeschwindigkeit</translation>
    </message>
    <message>
        <source>mass of the second body (the first: 1000)</source>
        <translation>Masse des zweiten Körpers (der erste: 1000)</translation>
    </message>
    <message>
        <source>mass of the third body</source>
        <translation>Masse des dritten Körpers</translation>
    </message>
    <message>
        <source>half-width of the plotted square</source>
        <translation>halbe Breite des gezeichneten Quadrats</translation>
    </message>
    <message>
        <source>fault</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>not yet</source>
        <translation>noch nicht</translation>
    </message>
    <message>
        <source>dropped</source>
        <translation>verworfen</translation>
    </message>
    <message>
        <source>still running</source>
        <translation>läuft noch</translation>
    </message>
    <message>
        <source>budget spent</source>
        <translation>Budget aufgebraucht</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>collision</source>
        <translation>Zusammenstoß</translation>
    </message>
    <message>
        <source>escaped</source>
        <translation>entwichen</translation>
    </message>
    <message>
        <source>far but bound</source>
        <translation>fern, aber gebunden</translation>
    </message>
    <message>
        <source>ten revolutions</source>
        <translation>zehn Umläufe</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>bestätigt</translation>
    </message>
    <message>
        <source>artefact</source>
        <translation>Artefakt</translation>
    </message>
    <message>
        <source>fragile</source>
        <translation>heikel</translation>
    </message>
    <message>
        <source>undecided</source>
        <translation>unentschieden</translation>
    </message>
    <message>
        <source>%1 revolution of the pair</source>
        <translation>%1 Umlauf des Paares</translation>
    </message>
    <message>
        <source>%1 revolutions of the pair</source>
        <translation>%1 Umläufen des Paares</translation>
    </message>
    <message>
        <source>body 3 collided with the pair at t = %1 (came within 3.16 of a pair body), after %2</source>
        <translation>Körper 3 stieß bei t = %1 mit dem Paar zusammen (kam einem Körper des Paares näher als 3.16), nach %2</translation>
    </message>
    <message>
        <source>body 3 escaped: it was far from the pair and faster than its escape speed; the test ended at t = %1, after %2</source>
        <translation>Körper 3 entwich: er war fern vom Paar und schneller als seine Fluchtgeschwindigkeit; der Versuch endete bei t = %1, nach %2</translation>
    </message>
    <message>
        <source>body 3 went far but stayed bound: far from the pair, slower than its escape speed; the test ended at t = %1, after %2</source>
        <translation>Körper 3 entfernte sich weit, blieb aber gebunden: fern vom Paar, langsamer als seine Fluchtgeschwindigkeit; der Versuch endete bei t = %1, nach %2</translation>
    </message>
    <message>
        <source>the pair completed ten revolutions at t = %1</source>
        <translation>das Paar vollendete bei t = %1 zehn Umläufe</translation>
    </message>
    <message>
        <source>stopped by the user at t = %1, after %2</source>
        <translation>bei t = %1 von Hand angehalten, nach %2</translation>
    </message>
    <message>
        <source>body 3&apos;s speed %1 was above its escape speed %2, at %3 from the pair&apos;s centre of mass</source>
        <translation>die Geschwindigkeit %1 von Körper 3 lag über seiner Fluchtgeschwindigkeit %2, im Abstand %3 vom Schwerpunkt des Paares</translation>
    </message>
    <message>
        <source>body 3&apos;s speed %1 was not above its escape speed %2, at %3 from the pair&apos;s centre of mass</source>
        <translation>die Geschwindigkeit %1 von Körper 3 lag nicht über seiner Fluchtgeschwindigkeit %2, im Abstand %3 vom Schwerpunkt des Paares</translation>
    </message>
    <message>
        <source>the pair&apos;s separation stayed between %1 and %2 (mean %3)</source>
        <translation>der Abstand im Paar blieb zwischen %1 und %2 (Mittel %3)</translation>
    </message>
    <message>
        <source>alpha %1: %2; %3; %4</source>
        <translation>alpha %1: %2; %3; %4</translation>
    </message>
</context>
</TS>
