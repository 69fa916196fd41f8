#!/usr/bin/env bash
# The tests that start threads, under ThreadSanitizer (the "tsan" preset, at -O1): the pool
# itself, the replay's timeline built in the background, the chart's bands, and the windows'
# timeline build, analysis and race box with the windows closed while they run and an
# analysis cancelled.
# Only their test programs are built; a race or a deadlock fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target core_tests replay_tests chart_tests ui_tests
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 exitcode=66 second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
tests=build/tsan/tests
# (In this build each test program holds only the files of the tests that start threads.)
"$tests/core_tests" --gtest_filter='WorkPool.*'
"$tests/replay_tests" --gtest_filter='ReplaySession.*:BackgroundBuild.*:TimelineBuild.*'
"$tests/chart/chart_tests" --gtest_filter='ChartSeries.*InBands*:ChartSeries.ASeekBack*'
"$tests/ui_tests" --gtest_filter='AnalysisWindow.ClosingWhileTheWorkRuns*'
