<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>SetupViewController</name>
    <message numerus="yes">
        <source>The widget can show up to %n temperature sensors.</source>
        <translation>
            <numerusform>The widget can show up to %n temperature sensor.</numerusform>
            <numerusform>The widget can show up to %n temperature sensors.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SpokenReading</name>
    <message numerus="yes">
        <source>%1, %n degrees Celsius</source>
        <comment>a temperature reading: sensor name, value</comment>
        <translation>
            <numerusform>%1, %n degree Celsius</numerusform>
            <numerusform>%1, %n degrees Celsius</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1, %n degrees Fahrenheit</source>
        <comment>a temperature reading: sensor name, value</comment>
        <translation>
            <numerusform>%1, %n degree Fahrenheit</numerusform>
            <numerusform>%1, %n degrees Fahrenheit</numerusform>
        </translation>
    </message>
</context>
</TS>
