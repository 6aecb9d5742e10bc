"""The QGIS plugin in a real QGIS: every kind of dataset Marbrook lists, made
into layers by ``marbrook layers --json`` and handed to the plugin as
``marbrook pick --json`` would hand it, must become a valid QGIS layer with
the feature count, geometry kind, extent and spatial reference the library
reported. Leaves a picture of QGIS with the layers in the artifacts folder.

  python3 plugin_in_qgis.py --marbrook PROGRAM --samples WRITER --plugins FOLDER
      --artifacts FOLDER --ogr2ogr OGR2OGR [--shared SHARED]
PostGIS is covered when scripts/with-pg.sh exported MARBROOK_PG_*.
Exit 77 (a skip) only when this Python has no QGIS.
"""

import argparse
import json
import math
import os
import shutil
import stat
import subprocess
import sys
import tempfile

try:
    from qgis.core import QgsApplication, QgsProject, QgsRasterLayer, QgsVectorLayer, QgsWkbTypes
except ImportError as e:
    print("SKIP: this Python has no QGIS ({}): install python3-qgis (scripts/install-deps.sh)".format(e))
    sys.exit(77)

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what)


def run(args, env=None, ok=(0,), stdin=None):
    r = subprocess.run(args, capture_output=True, text=True, env=env, input=stdin)
    if r.returncode not in ok:
        raise SystemExit("{} ended with {}: {}".format(" ".join(args), r.returncode, r.stderr))
    return r


def listed(marbrook, location, env):
    """The datasets of a location, as ITEMs of ``marbrook layers``."""
    entries = json.loads(run([marbrook, "list", "--json", location], env).stdout)
    return [location + "::" + e["DataName"] for e in entries if e["datasource"] is not None]


GEOMETRY = {"point": QgsWkbTypes.PointGeometry, "multipoint": QgsWkbTypes.PointGeometry,
            "polyline": QgsWkbTypes.LineGeometry, "line": QgsWkbTypes.LineGeometry,
            "polygon": QgsWkbTypes.PolygonGeometry, "multipatch": QgsWkbTypes.PolygonGeometry}


def close(a, b):
    return all(math.isclose(x, y, rel_tol=1e-9, abs_tol=1e-6) for x, y in zip(a, b))


def check_layer(entry, layers):
    """The QGIS layers made of one Marbrook layer against what Marbrook reported."""
    name = entry["name"]
    for layer in layers:
        check(layer.isValid(), "{}: valid".format(name))
    crs = entry.get("crs")
    for layer in layers:
        if crs is None:
            check(not layer.crs().isValid(), "{}: no spatial reference".format(name))
        elif ":" in crs and not crs.startswith(("GEOGCRS", "PROJCRS")):
            check(layer.crs().authid() == crs, "{}: crs {} is {}".format(name, layer.crs().authid(), crs))
        else:
            check(layer.crs().isValid(), "{}: a spatial reference".format(name))
    if entry["kind"] == "raster":
        (layer,) = layers
        check(isinstance(layer, QgsRasterLayer), "{}: a raster layer".format(name))
        check((layer.width(), layer.height(), layer.bandCount()) == (entry["width"], entry["height"], entry["bands"]),
              "{}: {}x{}x{} pixels".format(name, entry["width"], entry["height"], entry["bands"]))
        if entry.get("extent"):
            e = layer.extent()
            check(close([e.xMinimum(), e.yMinimum(), e.xMaximum(), e.yMaximum()], entry["extent"]),
                  "{}: extent {} is {}".format(name, e.toString(), entry["extent"]))
        return
    if entry["kind"] == "cad":
        check(all(isinstance(layer, QgsVectorLayer) for layer in layers), "{}: a drawing".format(name))
        return
    count = sum(layer.featureCount() for layer in layers)
    check(count == entry["count"], "{}: {} features, Marbrook counted {}".format(name, count, entry["count"]))
    wanted = GEOMETRY.get(entry["geometry"])
    if wanted is not None:
        for layer in layers:
            check(layer.geometryType() == wanted,
                  "{}: geometry {} is {}".format(name, QgsWkbTypes.geometryDisplayString(layer.geometryType()),
                                                 entry["geometry"]))
    extents = [layer.extent() for layer in layers if layer.featureCount() > 0]
    if entry.get("extent") is None:
        check(not extents or all(e.isNull() for e in extents), "{}: no extent".format(name))
        return
    got = [min(e.xMinimum() for e in extents), min(e.yMinimum() for e in extents),
           max(e.xMaximum() for e in extents), max(e.yMaximum() for e in extents)]
    check(close(got, entry["extent"]), "{}: extent {} is {}".format(name, got, entry["extent"]))


def postgis_items(marbrook, work, env):
    host = os.environ.get("MARBROOK_PG_HOST")
    if not host:
        print("note: no PostGIS server (run through scripts/with-pg.sh): the database case is left out")
        return []
    password = os.environ["MARBROOK_PG_PASSWORD"]
    made = run([marbrook, "connection", "create", "--server", host, "--instance", os.environ["MARBROOK_PG_PORT"],
                "--database", os.environ["MARBROOK_PG_DB"], "--user", os.environ["MARBROOK_PG_USER"],
                "--password", "-", work], env, stdin=password + "\n")
    # QGIS's PostgreSQL provider finds the password where libpq looks: the
    # user's password file. The connection file keeps it for Marbrook.
    passfile = os.path.join(work, "pgpass")
    with open(passfile, "w") as f:
        f.write("{}:{}:{}:{}:{}\n".format(host, os.environ["MARBROOK_PG_PORT"], os.environ["MARBROOK_PG_DB"],
                                         os.environ["MARBROOK_PG_USER"],
                                         password.replace("\\", "\\\\").replace(":", "\\:")))
    os.chmod(passfile, stat.S_IRUSR | stat.S_IWUSR)
    os.environ["PGPASSFILE"] = passfile
    del made
    sde = [os.path.join(work, n) for n in os.listdir(work) if n.endswith(".sde")][0]
    return listed(marbrook, sde, env)


MIXED_GEOJSON = """{"type": "FeatureCollection", "features": [
{"type": "Feature", "properties": {"n": 1}, "geometry": {"type": "Point", "coordinates": [116.31, 39.91]}},
{"type": "Feature", "properties": {"n": 2}, "geometry": {"type": "MultiPoint", "coordinates": [[116.32, 39.92]]}},
{"type": "Feature", "properties": {"n": 3}, "geometry": {"type": "LineString",
 "coordinates": [[116.30, 39.90], [116.35, 39.93]]}},
{"type": "Feature", "properties": {"n": 4}, "geometry": {"type": "Polygon",
 "coordinates": [[[116.33, 39.90], [116.34, 39.90], [116.34, 39.91], [116.33, 39.90]]]}}]}
"""


def todays_stores(marbrook, ogr2ogr, samples, work, env):
    """A GeoPackage (classes and a tile table), a file geodatabase (a
    feature dataset and a class), a vector file of mixed kinds and a netCDF
    grid, written by GDAL's own programs from the samples."""
    gdal_translate = os.path.join(os.path.dirname(ogr2ogr), "gdal_translate")
    today = os.path.join(work, "today")
    os.makedirs(today)
    gpkg = os.path.join(today, "city.gpkg")
    gdb = os.path.join(today, "water.gdb")
    mixed = os.path.join(today, "mixed.geojson")
    grid = os.path.join(today, "elevation.nc")
    run([ogr2ogr, "-q", "-f", "GPKG", gpkg, os.path.join(samples, "points.shp")])
    run([ogr2ogr, "-q", "-update", "-f", "GPKG", gpkg, os.path.join(samples, "parcels.shp")])
    run([gdal_translate, "-q", "-of", "GPKG", "-co", "RASTER_TABLE=elevation", "-co", "APPEND_SUBDATASET=YES",
         os.path.join(samples, "elevation.tif"), gpkg])
    run([ogr2ogr, "-q", "-f", "OpenFileGDB", gdb, os.path.join(samples, "roads.shp"),
         "-lco", "FEATURE_DATASET=transport"])
    run([ogr2ogr, "-q", "-update", "-f", "OpenFileGDB", gdb, os.path.join(samples, "parcels.shp")])
    with open(mixed, "w") as f:
        f.write(MIXED_GEOJSON)
    run([gdal_translate, "-q", "-of", "netCDF", os.path.join(samples, "elevation.tif"), grid])
    items = []
    for store in (gpkg, gdb, mixed, grid):
        items += listed(marbrook, store, env)
    return items


def picture(layers, focus, path):
    """QGIS's layer tree and map canvas with the layers, as a user sees them."""
    from qgis.core import QgsLayerTreeModel
    from qgis.gui import QgsLayerTreeMapCanvasBridge, QgsLayerTreeView, QgsMapCanvas
    from qgis.PyQt.QtWidgets import QSplitter

    window = QSplitter()
    view = QgsLayerTreeView()
    model = QgsLayerTreeModel(QgsProject.instance().layerTreeRoot(), view)
    view.setModel(model)
    view.expandAll()
    canvas = QgsMapCanvas()
    bridge = QgsLayerTreeMapCanvasBridge(QgsProject.instance().layerTreeRoot(), canvas)
    window.addWidget(view)
    window.addWidget(canvas)
    window.resize(1200, 700)
    window.setSizes([320, 880])
    window.setWindowTitle("QGIS with the layers Marbrook gave")
    window.show()
    # Drawings without a spatial reference would be drawn in their own
    # numbers over the map: they stay in the list, unticked.
    root = QgsProject.instance().layerTreeRoot()
    for layer in layers:
        if not layer.crs().isValid():
            root.findLayer(layer.id()).setItemVisibilityChecked(False)
    placed = [layer for layer in layers if layer.crs().authid() == "EPSG:4326" and layer.source().startswith(focus)]
    if placed:
        extent = placed[0].extent()
        for layer in placed[1:]:
            extent.combineExtentWith(layer.extent())
        canvas.setDestinationCrs(placed[0].crs())
        canvas.setExtent(extent)
    canvas.refreshAllLayers()
    canvas.waitWhileRendering()
    for _ in range(20):
        QgsApplication.processEvents()
    canvas.waitWhileRendering()
    window.grab().save(path)
    del bridge


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--marbrook", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--plugins", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--ogr2ogr", required=True)
    parser.add_argument("--shared", default="")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="marbrook-qgis-")
    try:
        env = dict(os.environ, MARBROOK_HOME=work, XDG_CONFIG_HOME=work)
        samples = os.path.join(work, "samples")
        run([args.samples, samples])
        items = listed(args.marbrook, samples, env)
        items += listed(args.marbrook, os.path.join(samples, "site-plan.dxf"), env)
        testdata = os.path.join(args.shared, "testdata")
        if args.shared and os.path.isdir(testdata):
            for mdb in ("pgeo/sample.mdb", "pgeo/fd_sample.mdb"):
                items += listed(args.marbrook, os.path.join(testdata, mdb), env)
            for dwg in ("cad/text_mtext_attdef_r2000.dwg", "cad/triple_circles_r2000.dwg"):
                items += listed(args.marbrook, os.path.join(testdata, dwg), env)
        else:
            print("note: {} is absent: the .mdb and .dwg cases are left out".format(testdata))
        items += todays_stores(args.marbrook, args.ogr2ogr, samples, work, env)
        items += postgis_items(args.marbrook, work, env)

        # Items that give no layer (tables, empty classes) are named on
        # standard error; the layers of the others are printed.
        made = run([args.marbrook, "layers", "--json"] + items, env, ok=(0, 1))
        entries = json.loads(made.stdout)
        print("{} items gave {} layers".format(len(items), len(entries)))
        kinds = {e["datasource"]["driver"] for e in entries if e.get("datasource")}
        print("drivers:", sorted(kinds))

        QgsApplication.setPrefixPath("/usr", True)
        app = QgsApplication([], True)
        app.initQgis()
        sys.path.insert(0, args.plugins)
        import marbrook
        from marbrook.layers import make_layers

        # The plugin as QGIS loads it, its dialog played by a program that
        # answers with the layers above and notes how it was asked.
        from qgis.gui import QgsMessageBar
        from qgis.PyQt.QtWidgets import QMainWindow

        class Interface:
            def __init__(self):
                self.window = QMainWindow()
                self.bar = QgsMessageBar()
                self.actions = []

            def mainWindow(self):  # noqa: N802
                return self.window

            def messageBar(self):  # noqa: N802
                return self.bar

            def addToolBarIcon(self, action):  # noqa: N802
                self.actions.append(("toolbar", action))

            def insertAddLayerAction(self, action):  # noqa: N802
                self.actions.append(("add layer menu", action))

            def removeToolBarIcon(self, action):  # noqa: N802
                self.actions.remove(("toolbar", action))

            def removeAddLayerAction(self, action):  # noqa: N802
                self.actions.remove(("add layer menu", action))

        answer = os.path.join(work, "answer.json")
        asked = os.path.join(work, "asked")
        with open(answer, "w") as f:
            f.write(made.stdout)
        dialog = os.path.join(work, "marbrook")
        with open(dialog, "w") as f:
            f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '{}'\ncat '{}'\n".format(asked, answer))
        os.chmod(dialog, 0o700)
        os.environ["MARBROOK_PROGRAM"] = dialog

        iface = Interface()
        plugin = marbrook.classFactory(iface)
        plugin.initGui()
        check([place for place, _ in iface.actions] == ["toolbar", "add layer menu"], "a button and a menu entry")
        check(plugin.action.text() == "Add data (Marbrook)\u2026", "the entry's caption")
        plugin.action.trigger()
        while plugin.busy():
            QgsApplication.processEvents()
        with open(asked) as f:
            check(f.read().split() == ["pick", "--json", "--parent", str(int(iface.window.winId()))],
                  "the plugin asks for the dialog above its window, in JSON")
        check(plugin.last_failures == [], "every layer added: {}".format(plugin.last_failures))
        in_project = list(QgsProject.instance().mapLayers().values())
        check(len(in_project) == len(plugin.last_added), "the layers are in the project")
        tree = [node.layer() for node in QgsProject.instance().layerTreeRoot().findLayers()]
        check(tree == plugin.last_added, "the layer list shows them in the order received, the first on top")

        # Each Marbrook layer against the QGIS layers made of it, in order.
        added = iter(plugin.last_added)
        for entry in entries:
            expected = make_layers(entry)
            mine = [next(added) for _ in expected]
            check([layer.name() for layer in mine] == [layer.name() for layer in expected],
                  "{}: added in the order received".format(entry["name"]))
            check_layer(entry, mine)
            print("ok {:<22} {:<14} {}".format(entry["name"], entry["datasource"]["driver"],
                                                entry.get("count", entry.get("width"))))

        # What cannot be added is told in the message bar, the rest added.
        before = len(QgsProject.instance().mapLayers())
        plugin.add(json.dumps([{"kind": "feature", "name": "gone", "geometry": "point", "count": 1,
                                "datasource": {"driver": "ESRI Shapefile", "path": os.path.join(work, "gone.shp"),
                                               "layers": ["gone"]}}, entries[0]]))
        check(len(plugin.last_failures) == 1 and "gone" in plugin.last_failures[0], "the missing layer is named")
        check(len(QgsProject.instance().mapLayers()) > before, "the others are still added")
        check(iface.bar.currentItem() is not None and "gone" in iface.bar.currentItem().text(),
              "the message bar says what could not be added")
        plugin.unload()
        check(iface.actions == [], "unloading removes the button and the entry")

        os.makedirs(args.artifacts, exist_ok=True)
        shot = os.path.join(args.artifacts, "qgis-with-marbrook-layers.png")
        picture(list(QgsProject.instance().mapLayers().values()), samples, shot)
        print("picture:", shot)
        QgsProject.instance().clear()
        app.exitQgis()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("{} checks failed".format(len(FAILURES)) if FAILURES else "all checks passed")
    sys.stdout.flush()
    # Python would now destroy the Qt objects of this function after QGIS
    # has gone, which crashes PyQGIS: the checks are done, the process ends.
    os._exit(1 if FAILURES else 0)


if __name__ == "__main__":
    main()
