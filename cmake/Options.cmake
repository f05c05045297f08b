# The options that both the native build and the Windows builds read, declared
# once here (the native build hands them on to the Windows builds).
option(WYK_BENCH "Build the benchmark variants (release-size payload) and their programs" OFF)
option(WYK_DEMO_REALISTIC_SIZES "Fill the demo payload's cabinets to release sizes (about 79 MiB)" OFF)
set(WYK_PAYLOAD_DIR "" CACHE PATH
    "Folder with the payload files to bind (empty: the demo payload built from source)")
# Debian's interpreter on purpose, for every script the build runs and every
# suite: the scripts need pefile from Debian, and a Python from PATH may be another one.
set(WYK_PYTHON /usr/bin/python3 CACHE FILEPATH "Python interpreter of the build scripts and tests")
