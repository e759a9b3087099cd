# What lupdate reads for the translation source, and how: shared by the
# update_translations target and the test that checks the files are current.
# Without locations, a file changes only when a text does.
set(ONDARA_TRANSLATED_FOLDERS app widget controls agent shared)
set(ONDARA_LUPDATE_OPTIONS -extensions cpp,h,ui -locations none -no-obsolete -silent)
# The English file carries only the plural forms of the English source texts.
set(ONDARA_LUPDATE_OPTIONS_en -pluralonly)
set(ONDARA_TRANSLATION_LANGUAGES de en)
