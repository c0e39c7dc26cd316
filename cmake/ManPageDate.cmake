# Gives a manual page made by help2man the release's date in a form man and mandoc read
# (help2man writes the month and year of the build: "December 2026").
#   cmake -DPAGE=velquin.1 -DDATE=2026-12-08 -P ManPageDate.cmake
file(READ "${PAGE}" text)
string(REGEX REPLACE "\n\\.TH ([^ ]+) \"([0-9]+)\" \"[^\"]*\"" "\n.TH \\1 \"\\2\" \"${DATE}\"" text "${text}")
file(WRITE "${PAGE}" "${text}")
