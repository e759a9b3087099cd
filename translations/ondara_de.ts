<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutViewController</name>
    <message>
        <source>About Ondara</source>
        <translation>Über Ondara</translation>
    </message>
    <message>
        <source>The temperatures, fans and memory of this computer, at a glance.</source>
        <translation>Die Temperaturen, Lüfter und der Speicher dieses Computers auf einen Blick.</translation>
    </message>
    <message>
        <source>Terms of Use…</source>
        <translation>Nutzungsbedingungen …</translation>
    </message>
    <message>
        <source>Ondara icon</source>
        <translation>Ondara-Symbol</translation>
    </message>
</context>
<context>
    <name>AlertMonitor</name>
    <message>
        <source>%1 has stopped</source>
        <translation>%1 steht still</translation>
    </message>
    <message>
        <source>It reads %1 although its minimum speed is %2.</source>
        <translation>Er zeigt %1, obwohl seine Mindestdrehzahl %2 ist.</translation>
    </message>
    <message>
        <source>%1 is above %2</source>
        <translation>%1 liegt über %2</translation>
    </message>
    <message>
        <source>It has been above %1 for %2 s and reads %3 now.</source>
        <translation>Der Wert liegt seit %2 s über %1 und beträgt jetzt %3.</translation>
    </message>
    <message>
        <source>The alert for %1 is off</source>
        <translation>Der Alarm für %1 ist aus</translation>
    </message>
    <message>
        <source>It reads %1 now.</source>
        <translation>Der Wert beträgt jetzt %1.</translation>
    </message>
    <message>
        <source>%1 is turning again</source>
        <translation>%1 dreht sich wieder</translation>
    </message>
    <message>
        <source>%1 is back to normal</source>
        <translation>%1 ist wieder normal</translation>
    </message>
    <message>
        <source>It reads %1 now, below %2.</source>
        <translation>Der Wert beträgt jetzt %1, unter %2.</translation>
    </message>
</context>
<context>
    <name>AlertRulesViewController</name>
    <message>
        <source>&amp;Add Rule</source>
        <translation>Regel &amp;hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Remove Rule</source>
        <translation>Regel &amp;entfernen</translation>
    </message>
    <message>
        <source>Alert Rules</source>
        <translation>Alarmregeln</translation>
    </message>
    <message>
        <source>On</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Reading</source>
        <translation>Messwert</translation>
    </message>
    <message>
        <source>Alert above</source>
        <translation>Alarm über</translation>
    </message>
    <message>
        <source>Clears below</source>
        <translation>Endet unter</translation>
    </message>
    <message>
        <source>For (s)</source>
        <translation>Dauer (s)</translation>
    </message>
    <message>
        <source>Alert rules</source>
        <translation>Alarmregeln</translation>
    </message>
    <message>
        <source>Reading of a new rule</source>
        <translation>Messwert einer neuen Regel</translation>
    </message>
    <message>
        <source>An alert is raised when a reading stays above its level for the time given, and cleared once it falls below the lower level. The agent sends a desktop notification for each, also while Ondara is closed.</source>
        <translation>Ein Alarm wird ausgelöst, wenn ein Messwert die angegebene Zeit über seiner Schwelle bleibt, und endet, sobald er unter die untere Schwelle fällt. Der Agent meldet beides als Desktop-Benachrichtigung, auch wenn Ondara geschlossen ist.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>New rule for:</source>
        <translation>Neue Regel für:</translation>
    </message>
    <message>
        <source>The agent did not answer: %1</source>
        <translation>Der Agent hat nicht geantwortet: %1</translation>
    </message>
    <message>
        <source>%1 stops</source>
        <translation>%1 steht still</translation>
    </message>
    <message>
        <source>%1 (raised)</source>
        <translation>%1 (ausgelöst)</translation>
    </message>
    <message>
        <source>Alert for %1 on</source>
        <translation>Alarm für %1 an</translation>
    </message>
    <message>
        <source>when it stands although it should turn</source>
        <translation>wenn er steht, obwohl er sich drehen sollte</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Seconds above, %1</source>
        <translation>Sekunden darüber, %1</translation>
    </message>
    <message>
        <source>Saved.</source>
        <translation>Gespeichert.</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>Nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>Removed.</source>
        <translation>Entfernt.</translation>
    </message>
    <message>
        <source>Not removed: %1</source>
        <translation>Nicht entfernt: %1</translation>
    </message>
</context>
<context>
    <name>AppDelegate</name>
    <message>
        <source>&amp;Ondara</source>
        <translation>&amp;Ondara</translation>
    </message>
    <message>
        <source>&amp;About Ondara</source>
        <translation>Ü&amp;ber Ondara</translation>
    </message>
    <message>
        <source>&amp;Info</source>
        <translation>&amp;Info</translation>
    </message>
    <message>
        <source>Check for &amp;Updates…</source>
        <translation>Nach &amp;Updates suchen …</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Support</source>
        <translation>&amp;Support</translation>
    </message>
    <message>
        <source>&amp;Donate</source>
        <translation>Spen&amp;den</translation>
    </message>
    <message>
        <source>&amp;Copy Diagnostics</source>
        <translation>Diagnose &amp;kopieren</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;History…</source>
        <translation>&amp;Verlauf …</translation>
    </message>
    <message>
        <source>Alert &amp;Rules…</source>
        <translation>Alarm&amp;regeln …</translation>
    </message>
</context>
<context>
    <name>ApplicationVersion</name>
    <message>
        <source>version %1</source>
        <comment>the version number, with two decimals</comment>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>BoxView</name>
    <message>
        <source>Sensors</source>
        <translation>Sensoren</translation>
    </message>
    <message>
        <source>Add %1 to widget</source>
        <translation>%1 zum Widget hinzufügen</translation>
    </message>
    <message>
        <source>Remove %1 from widget</source>
        <translation>%1 aus dem Widget entfernen</translation>
    </message>
    <message>
        <source>Show available %1 sensors</source>
        <translation>Verfügbare Sensoren für %1 zeigen</translation>
    </message>
</context>
<context>
    <name>HelperBanner</name>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Use the Demo Machine</source>
        <translation>Demo-Rechner verwenden</translation>
    </message>
    <message>
        <source>Sensor service</source>
        <translation>Sensordienst</translation>
    </message>
    <message>
        <source>Starts Ondara&apos;s sensor service</source>
        <translation>Startet den Sensordienst von Ondara</translation>
    </message>
    <message>
        <source>Starts Ondara&apos;s sensor service on a built-in demo machine with made-up readings</source>
        <translation>Startet den Sensordienst von Ondara auf einem eingebauten Demo-Rechner mit erfundenen Messwerten</translation>
    </message>
</context>
<context>
    <name>HelperStateText</name>
    <message>
        <source>This computer has no sensors Ondara&apos;s sensor service can read.</source>
        <translation>Dieser Computer hat keine Sensoren, die der Sensordienst von Ondara lesen kann.</translation>
    </message>
    <message>
        <source>Ondara&apos;s sensor service may not read this computer&apos;s sensors.</source>
        <translation>Der Sensordienst von Ondara darf die Sensoren dieses Computers nicht lesen.</translation>
    </message>
    <message>
        <source>Ondara&apos;s sensor service stopped: another one already runs for you.</source>
        <translation>Der Sensordienst von Ondara wurde beendet: Für Sie läuft bereits ein anderer.</translation>
    </message>
    <message>
        <source>Ondara&apos;s sensor service is not running.</source>
        <translation>Der Sensordienst von Ondara läuft nicht.</translation>
    </message>
    <message>
        <source>No SMC and no hwmon chip it knows were found. To look around, start the service on the demo machine.</source>
        <translation>Es wurden weder ein SMC noch ein bekannter hwmon-Chip gefunden. Zum Ausprobieren starten Sie den Dienst auf dem Demo-Rechner.</translation>
    </message>
    <message>
        <source>The sensor driver refused it access.</source>
        <translation>Der Sensortreiber hat ihm den Zugriff verweigert.</translation>
    </message>
    <message>
        <source>That one serves another session. Stop it there, then start the service here.</source>
        <translation>Dieser bedient eine andere Sitzung. Beenden Sie ihn dort und starten Sie den Dienst dann hier.</translation>
    </message>
    <message>
        <source>The readings below are not live. Start the service to see them again.</source>
        <translation>Die Messwerte unten sind nicht aktuell. Starten Sie den Dienst, um sie wieder zu sehen.</translation>
    </message>
    <message>
        <source>Open Ondara to see what to do.</source>
        <translation>Öffnen Sie Ondara, um zu sehen, was zu tun ist.</translation>
    </message>
    <message>
        <source>The readings are not live. Open Ondara to start the service.</source>
        <translation>Die Messwerte sind nicht aktuell. Öffnen Sie Ondara, um den Dienst zu starten.</translation>
    </message>
</context>
<context>
    <name>HistoryChartView</name>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1: %2 (%3 to %4)</source>
        <translation>%1: %2 (%3 bis %4)</translation>
    </message>
    <message>
        <source>No readings in this time</source>
        <translation>Keine Messwerte in dieser Zeit</translation>
    </message>
    <message>
        <source>Latest %1, lowest %2, highest %3</source>
        <translation>Zuletzt %1, niedrigster %2, höchster %3</translation>
    </message>
    <message>
        <source>History chart</source>
        <translation>Verlaufsdiagramm</translation>
    </message>
    <message>
        <source>Alert above %1</source>
        <translation>Alarm über %1</translation>
    </message>
    <message>
        <source>Alert above %1 (off)</source>
        <translation>Alarm über %1 (aus)</translation>
    </message>
</context>
<context>
    <name>HistoryViewController</name>
    <message>
        <source>Alert Rules…</source>
        <translation>Alarmregeln …</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>&amp;Reading:</source>
        <translation>&amp;Messwert:</translation>
    </message>
    <message>
        <source>Reading</source>
        <translation>Messwert</translation>
    </message>
    <message>
        <source>15 min</source>
        <translation>15 Min.</translation>
    </message>
    <message>
        <source>1 hour</source>
        <translation>1 Stunde</translation>
    </message>
    <message>
        <source>6 hours</source>
        <translation>6 Stunden</translation>
    </message>
    <message>
        <source>1 day</source>
        <translation>1 Tag</translation>
    </message>
    <message>
        <source>Time shown</source>
        <translation>Gezeigte Zeit</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>History of %1</source>
        <translation>Verlauf von %1</translation>
    </message>
    <message>
        <source>The agent gave no history: %1</source>
        <translation>Der Agent lieferte keinen Verlauf: %1</translation>
    </message>
</context>
<context>
    <name>InfoViewController</name>
    <message>
        <source>Ondara Info</source>
        <translation>Ondara-Info</translation>
    </message>
    <message>
        <source>Questions, ideas or a problem? The support page has answers and a way to reach us.</source>
        <translation>Fragen, Ideen oder ein Problem? Die Support-Seite hat Antworten und einen Weg zu uns.</translation>
    </message>
    <message>
        <source>Ondara is free. A donation keeps it going.</source>
        <translation>Ondara ist kostenlos. Eine Spende hält es am Laufen.</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>Donate</source>
        <translation>Spenden</translation>
    </message>
</context>
<context>
    <name>LicenseViewController</name>
    <message>
        <source>Ondara Terms of Use</source>
        <translation>Ondara-Nutzungsbedingungen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Ondara Terms of Use

1. Use. You may install and use Ondara on any number of computers that you own or look after, for private and commercial purposes, free of charge.

2. Redistribution. You may pass on unchanged copies of Ondara, provided that these terms go with every copy and that nothing is charged for Ondara itself.

3. Readings. Ondara shows what the computer&apos;s sensors report. It does not change fan speeds or any other setting of the hardware, and its readings are not meant for decisions on which health or safety depends.

4. Warranty. Ondara is provided &quot;as is&quot;, without warranty of any kind, express or implied, including the warranties of merchantability, fitness for a particular purpose and non-infringement. In no event shall the authors of Ondara be liable for any claim, damages or other liability arising from the use of Ondara.

5. Acceptance. By using Ondara you accept these terms.
</source>
        <translation>Ondara-Nutzungsbedingungen

1. Nutzung. Sie dürfen Ondara kostenlos auf beliebig vielen Computern installieren und nutzen, die Ihnen gehören oder die Sie betreuen, für private und gewerbliche Zwecke.

2. Weitergabe. Sie dürfen unveränderte Kopien von Ondara weitergeben, sofern diese Bedingungen jeder Kopie beiliegen und für Ondara selbst nichts berechnet wird.

3. Messwerte. Ondara zeigt, was die Sensoren des Computers melden. Es ändert weder die Drehzahl der Lüfter noch andere Einstellungen der Hardware, und seine Messwerte sind nicht für Entscheidungen gedacht, von denen Gesundheit oder Sicherheit abhängen.

4. Gewährleistung. Ondara wird „wie besehen“ bereitgestellt, ohne jede ausdrückliche oder stillschweigende Gewährleistung, einschließlich der Gewährleistung der Marktgängigkeit, der Eignung für einen bestimmten Zweck und der Nichtverletzung von Rechten Dritter. Die Autoren von Ondara haften in keinem Fall für Ansprüche, Schäden oder sonstige Haftung, die aus der Nutzung von Ondara entstehen.

5. Annahme. Mit der Nutzung von Ondara nehmen Sie diese Bedingungen an.
</translation>
    </message>
</context>
<context>
    <name>MemoryFigures</name>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>Used</source>
        <translation>Belegt</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Frei</translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Reserviert</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Aktiv</translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inaktiv</translation>
    </message>
    <message>
        <source>Compressed</source>
        <translation>Komprimiert</translation>
    </message>
</context>
<context>
    <name>PanelReadout</name>
    <message>
        <source>Show Widget</source>
        <translation>Widget einblenden</translation>
    </message>
    <message>
        <source>Open Ondara</source>
        <translation>Ondara öffnen</translation>
    </message>
    <message>
        <source>Reading in the Panel</source>
        <translation>Wert in der Leiste</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Hottest Temperature</source>
        <translation>Höchste Temperatur</translation>
    </message>
    <message>
        <source>Waiting for the first readings.</source>
        <translation>Warten auf die ersten Werte.</translation>
    </message>
    <message>
        <source>The widget shows no readings.</source>
        <translation>Das Widget zeigt keine Werte.</translation>
    </message>
    <message>
        <source>%1 (alert)</source>
        <translation>%1 (Alarm)</translation>
    </message>
    <message>
        <source>Alert: %1</source>
        <translation>Alarm: %1</translation>
    </message>
</context>
<context>
    <name>SensorListViewController</name>
    <message>
        <source>Sensors</source>
        <translation>Sensoren</translation>
    </message>
    <message>
        <source>%1 Sensors</source>
        <translation>Sensoren für %1</translation>
    </message>
</context>
<context>
    <name>SeriesLabels</name>
    <message>
        <source>Sensor %1</source>
        <translation>Sensor %1</translation>
    </message>
    <message>
        <source>Fan %1</source>
        <translation>Lüfter %1</translation>
    </message>
    <message>
        <source>%1 memory</source>
        <translation>Speicher (%1)</translation>
    </message>
</context>
<context>
    <name>SetupViewController</name>
    <message>
        <source>Temps</source>
        <translation>Temp.</translation>
    </message>
    <message>
        <source>Temperatures</source>
        <translation>Temperaturen</translation>
    </message>
    <message>
        <source>Temperature unit</source>
        <translation>Temperatureinheit</translation>
    </message>
    <message>
        <source>Celsius</source>
        <translation>Celsius</translation>
    </message>
    <message>
        <source>Fahrenheit</source>
        <translation>Fahrenheit</translation>
    </message>
    <message>
        <source>No temperature sensors were found on this computer.</source>
        <translation>Auf diesem Computer wurden keine Temperatursensoren gefunden.</translation>
    </message>
    <message>
        <source>Fans</source>
        <translation>Lüfter</translation>
    </message>
    <message>
        <source>Fan speed unit</source>
        <translation>Einheit der Lüfterdrehzahl</translation>
    </message>
    <message>
        <source>RPM</source>
        <translation>U/min</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <source>Revolutions per minute</source>
        <translation>Umdrehungen pro Minute</translation>
    </message>
    <message>
        <source>Percent</source>
        <translation>Prozent</translation>
    </message>
    <message>
        <source>No fans were found on this computer.</source>
        <translation>Auf diesem Computer wurden keine Lüfter gefunden.</translation>
    </message>
    <message>
        <source>Mem</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Show in widget:</source>
        <translation>Im Widget:</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Updates suchen …</translation>
    </message>
    <message>
        <source>Unknown</source>
        <comment>a sensor whose name the agent did not send</comment>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Memory in use</source>
        <translation>Belegter Speicher</translation>
    </message>
    <message>
        <source>Too many sensors...</source>
        <translation>Zu viele Sensoren …</translation>
    </message>
    <message numerus="yes">
        <source>The widget can show up to %n temperature sensors.</source>
        <translation>
            <numerusform>Das Widget kann bis zu %n Temperatursensor zeigen.</numerusform>
            <numerusform>Das Widget kann bis zu %n Temperatursensoren zeigen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>Checking for updates is not available yet.</source>
        <translation>Die Suche nach Updates ist noch nicht verfügbar.</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>History of %1…</source>
        <translation>Verlauf von %1 …</translation>
    </message>
    <message>
        <source>Alert Rules…</source>
        <translation>Alarmregeln …</translation>
    </message>
</context>
<context>
    <name>SpokenReading</name>
    <message numerus="yes">
        <source>%1, %n degrees Celsius</source>
        <comment>a temperature reading: sensor name, value</comment>
        <translation>
            <numerusform>%1, %n Grad Celsius</numerusform>
            <numerusform>%1, %n Grad Celsius</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1, %n degrees Fahrenheit</source>
        <comment>a temperature reading: sensor name, value</comment>
        <translation>
            <numerusform>%1, %n Grad Fahrenheit</numerusform>
            <numerusform>%1, %n Grad Fahrenheit</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, %2 RPM</source>
        <comment>a fan reading: fan name, revolutions per minute</comment>
        <translation>%1, %2 Umdrehungen pro Minute</translation>
    </message>
    <message>
        <source>%1, %2 percent</source>
        <comment>a fan reading: fan name, share of its maximum speed</comment>
        <translation>%1, %2 Prozent</translation>
    </message>
    <message>
        <source>%1, %2 GiB</source>
        <comment>a memory reading: figure name, gibibytes</comment>
        <translation>%1, %2 GiB</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <comment>a reading without a unit: name, value</comment>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 speed</source>
        <comment>the ring of a fan: fan name</comment>
        <translation>Drehzahl von %1</translation>
    </message>
</context>
<context>
    <name>TodayViewController</name>
    <message>
        <source>Temps</source>
        <translation>Temp.</translation>
    </message>
    <message>
        <source>Fans</source>
        <translation>Lüfter</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Memory in use</source>
        <translation>Belegter Speicher</translation>
    </message>
    <message>
        <source>GiB installed</source>
        <translation>GiB eingebaut</translation>
    </message>
    <message>
        <source>Open Ondara to set up the widget.</source>
        <translation>Öffnen Sie Ondara, um das Widget einzurichten.</translation>
    </message>
    <message>
        <source>No section is visible. Choose the sections in Ondara.</source>
        <translation>Kein Bereich ist sichtbar. Wählen Sie die Bereiche in Ondara.</translation>
    </message>
    <message>
        <source>Open Ondara</source>
        <translation>Ondara öffnen</translation>
    </message>
    <message>
        <source>Open Ondara to choose what the widget shows</source>
        <translation>Ondara öffnen, um zu wählen, was das Widget zeigt</translation>
    </message>
    <message>
        <source>Compr.</source>
        <comment>the memory figure Compressed, abbreviated</comment>
        <translation>Kompr.</translation>
    </message>
</context>
<context>
    <name>UpdateViewController</name>
    <message>
        <source>Software Update</source>
        <translation>Softwareaktualisierung</translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation>Suche nach Updates …</translation>
    </message>
    <message>
        <source>Release notes:</source>
        <translation>Neuerungen:</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Download…</source>
        <translation>Laden …</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Update available!</source>
        <translation>Update verfügbar!</translation>
    </message>
    <message>
        <source>New version %1 is available for download.
You have version %2 installed.</source>
        <translation>Die neue Version %1 steht zum Laden bereit.
Installiert ist Version %2.</translation>
    </message>
    <message>
        <source>You are up-to-date!</source>
        <translation>Ondara ist auf dem neuesten Stand!</translation>
    </message>
    <message>
        <source>You are already using the latest version.</source>
        <translation>Sie verwenden bereits die neueste Version.</translation>
    </message>
    <message>
        <source>Unable to get update info</source>
        <translation>Keine Update-Informationen erhältlich</translation>
    </message>
    <message>
        <source>Please check the Ondara website to see if an update is available.</source>
        <translation>Bitte sehen Sie auf der Website von Ondara nach, ob ein Update verfügbar ist.</translation>
    </message>
</context>
<context>
    <name>WidgetWindow</name>
    <message>
        <source>Open Ondara</source>
        <translation>Ondara öffnen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Keep Above Other Windows</source>
        <translation>Über anderen Fenstern halten</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Move to Applications Folder</source>
        <translation>In den Programmordner bewegen</translation>
    </message>
    <message>
        <source>Please move this app to the Applications folder and try again.</source>
        <translation>Bitte bewegen Sie dieses Programm in den Programmordner und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Shows the machine&apos;s sensors and chooses what the Ondara widget shows.</source>
        <translation>Zeigt die Sensoren des Rechners und wählt, was das Ondara-Widget zeigt.</translation>
    </message>
    <message>
        <source>Draw the window offscreen into FILE (PNG) once the first readings have arrived, then quit.</source>
        <translation>Zeichnet das Fenster unsichtbar in FILE (PNG), sobald die ersten Messwerte da sind, und beendet sich dann.</translation>
    </message>
    <message>
        <source>Open on the panel TAB: Temps, Fans or Mem.</source>
        <translation>Öffnet mit dem Bereich TAB: Temps, Fans oder Mem.</translation>
    </message>
    <message>
        <source>Use a dark palette.</source>
        <translation>Dunkle Farben verwenden.</translation>
    </message>
    <message>
        <source>An ondara:// address to open.</source>
        <translation>Eine ondara://-Adresse, die geöffnet wird.</translation>
    </message>
    <message>
        <source>The chosen readings of Ondara at hand.</source>
        <translation>Die gewählten Messwerte von Ondara zur Hand.</translation>
    </message>
    <message>
        <source>Render the widget to a PNG once the readings are in, then exit.</source>
        <translation>Zeichnet das Widget in eine PNG-Datei, sobald die Messwerte da sind, und beendet sich dann.</translation>
    </message>
    <message>
        <source>The tab the screenshot shows.</source>
        <translation>Der Reiter, den das Bild zeigt.</translation>
    </message>
    <message>
        <source>Paint with a dark palette.</source>
        <translation>Mit dunklen Farben zeichnen.</translation>
    </message>
    <message>
        <source>With --screenshot: draw the window NAME instead: about, info, license, updater (once its check ended), history or alerts (once the agent answered).</source>
        <translation>Mit --screenshot: zeichnet stattdessen das Fenster NAME: about, info, license, updater (sobald seine Prüfung endete), history oder alerts (sobald der Agent antwortete).</translation>
    </message>
    <message>
        <source>With --dialog history: the reading to show, as the agent names it (&quot;temp:TC0D&quot;); the first temperature by default.</source>
        <translation>Mit --dialog history: der zu zeigende Messwert, wie der Agent ihn nennt („temp:TC0D“); standardmäßig die erste Temperatur.</translation>
    </message>
    <message>
        <source>With --dialog history: the time shown, 15m, 1h (the default), 6h or 1d.</source>
        <translation>Mit --dialog history: die gezeigte Zeit, 15m, 1h (Standard), 6h oder 1d.</translation>
    </message>
    <message>
        <source>Start with the widget hidden; the readout in the panel stays.</source>
        <translation>Mit ausgeblendetem Widget starten; der Wert in der Leiste bleibt.</translation>
    </message>
    <message>
        <source>Start as usual, then print what Help &gt; Copy Diagnostics copies once the sensor service&apos;s start was checked and the window heard from it (or says why not), and quit.</source>
        <translation>Wie gewohnt starten, dann ausgeben, was Hilfe &gt; Diagnose kopieren kopiert, sobald der Start des Sensordienstes geprüft ist und das Fenster von ihm gehört hat (oder sagt, warum nicht), und beenden.</translation>
    </message>
</context>
</TS>
