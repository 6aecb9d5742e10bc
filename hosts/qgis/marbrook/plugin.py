"""The plugin: a toolbar button and an entry in Layer > Add Layer that run
``marbrook pick --json --parent <main window>`` and add what comes back."""

import json
import os
import shutil

from qgis.core import Qgis, QgsApplication, QgsSettings
from qgis.PyQt.QtCore import QProcess
from qgis.PyQt.QtWidgets import QAction

from .layers import add_layers

TITLE = "Add data (Marbrook)\u2026"
# Where the program is: this setting, else MARBROOK_PROGRAM, else "marbrook"
# on the PATH.
PROGRAM_SETTING = "marbrook/program"


def find_program():
    given = QgsSettings().value(PROGRAM_SETTING, "") or os.environ.get("MARBROOK_PROGRAM", "")
    return given or shutil.which("marbrook") or ""


class MarbrookPlugin:
    def __init__(self, iface):
        self.iface = iface
        self.action = None
        self.process = None
        self.last_added = []
        self.last_failures = []

    def initGui(self):  # noqa: N802
        self.action = QAction(QgsApplication.getThemeIcon("/mActionAddLayer.svg"), TITLE, self.iface.mainWindow())
        self.action.setObjectName("MarbrookAddData")
        self.action.triggered.connect(self.run)
        self.iface.addToolBarIcon(self.action)
        self.iface.insertAddLayerAction(self.action)

    def unload(self):
        if self.process is not None:
            self.process.kill()
            self.process.waitForFinished(3000)
        self.iface.removeAddLayerAction(self.action)
        self.iface.removeToolBarIcon(self.action)
        self.action = None

    def busy(self):
        return self.process is not None

    def run(self):
        """Shows Marbrook's dialog above QGIS; the layers are added when it closes."""
        if self.process is not None:
            return
        program = find_program()
        if not program:
            self.tell("the marbrook program was not found (install marbrook-tools, or set {} to its path)".format(
                PROGRAM_SETTING), Qgis.Critical)
            return
        window = int(self.iface.mainWindow().winId())
        self.process = QProcess()
        self.process.finished.connect(self._finished)
        self.process.errorOccurred.connect(self._failed_to_start)
        # QGIS stays usable while the dialog is open: it is not modal for
        # QGIS, only placed above it.
        self.process.start(program, ["pick", "--json", "--parent", str(window)])

    def _failed_to_start(self, error):
        if error == QProcess.FailedToStart:
            self.tell("the marbrook program could not be started: {}".format(self.process.errorString()),
                      Qgis.Critical)
            self.process = None

    def _finished(self, status, exit_status):
        process, self.process = self.process, None
        if process is None:
            return
        out = bytes(process.readAllStandardOutput()).decode("utf-8", "replace")
        err = bytes(process.readAllStandardError()).decode("utf-8", "replace").strip()
        if exit_status != QProcess.NormalExit or status not in (0, 1):
            self.tell("Marbrook's dialog ended with an error: {}".format(err or "status {}".format(status)),
                      Qgis.Critical)
            return
        if status == 1:  # cancelled
            return
        self.add(out)

    def add(self, text):
        """Adds the layers of Marbrook's JSON ``text`` and reports what could not be added."""
        try:
            entries = json.loads(text)
        except ValueError as e:
            self.tell("Marbrook's answer cannot be read: {}".format(e), Qgis.Critical)
            return
        self.last_added, self.last_failures = add_layers(entries)
        if self.last_failures:
            self.tell("could not be added: " + "; ".join(self.last_failures), Qgis.Warning)

    def tell(self, text, level):
        self.iface.messageBar().pushMessage("Marbrook", text, level=level, duration=0)
