#!/usr/bin/env bash
# Times the GPX log import against gpsbabel on a GPX log of 1,000,000 track points (about
# 110 MB) in the layout GPS loggers write; see kmlimport_vs_gpsbabel.sh.
#
#   bench/gpximport_vs_gpsbabel.sh [BUILD_DIR] [POINTS]
FORMAT=gpx exec "$(dirname "$0")/kmlimport_vs_gpsbabel.sh" "$@"
