#!/usr/bin/python3
"""ardentis-report: statistics and figures of ardentis results tables (see README).

This launcher only finds the ardentis_report package and runs its command line: beside this
file (source and build trees) or in ../share/ardentis/python (an installation), following
symbolic links to this file first.
"""

import os
import sys

PACKAGE = "ardentis_report"
# The project's version, written in by the build (CMake's configure_file); the source tree's copy
# still holds the placeholder and offers no --version.
VERSION = "@PROJECT_VERSION@"


def package_directory():
    """The first directory that holds the package, or None."""
    here = os.path.dirname(os.path.realpath(__file__))
    for directory in (here, os.path.join(here, os.pardir, "share", "ardentis", "python")):
        if os.path.isfile(os.path.join(directory, PACKAGE, "__init__.py")):
            return os.path.normpath(directory)
    return None


if __name__ == "__main__":
    found = package_directory()
    if found is None:
        print(f"ardentis-report: cannot find the {PACKAGE} package beside "
              f"{os.path.realpath(__file__)} or in its ../share/ardentis/python", file=sys.stderr)
        sys.exit(3)
    sys.path.insert(0, found)
    # Debian's python3 carries python3-matplotlib; a pyenv or venv python3 on PATH may not.
    from ardentis_report.cli import main  # noqa: E402

    sys.exit(main(sys.argv[1:], None if VERSION.startswith("@") else VERSION))
