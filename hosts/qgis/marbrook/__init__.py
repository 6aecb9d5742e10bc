"""Marbrook's data dialog in QGIS: "Add data (Marbrook)..." picks data with
Marbrook and adds the chosen layers to the current project."""


def classFactory(iface):  # noqa: N802 (the name QGIS looks for)
    from .plugin import MarbrookPlugin

    return MarbrookPlugin(iface)
