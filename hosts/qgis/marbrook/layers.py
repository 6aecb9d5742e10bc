"""QGIS layers from the layers Marbrook returns (``marbrook pick --json``).

Each Marbrook layer carries ``datasource``: the GDAL driver, the file, the
layers of the file, the filter that selects a drawing class's features, or
for PostGIS libpq's connection parameters (never the password) with schema,
table and column. This module turns one into QGIS layers; it needs no
interface, so that a test can run it in a QGIS without a window.
"""

from qgis.core import QgsDataSourceUri, QgsProject, QgsRasterLayer, QgsVectorLayer

# Drawing classes are filtered views of the drawing's layers of mixed
# geometry: QGIS is told which kind of geometry the view holds.
_GEOMETRY_TYPES = {
    "point": "Point",
    "multipoint": "Point",
    "polyline": "LineString",
    "line": "LineString",
    "polygon": "Polygon",
    "multipatch": "Polygon",
}


class Failure(Exception):
    """A layer that could not be added, with the reason for the user."""


def _ogr_uri(path, layer=None, subset="", geometry_type=None):
    uri = path
    if layer is not None:
        uri += "|layername=" + layer
    if geometry_type:
        uri += "|geometrytype=" + geometry_type
    if subset:
        uri += "|subset=" + subset
    return uri


def _postgres_uri(source):
    connection = source.get("connection") or {}
    uri = QgsDataSourceUri()
    mode = connection.get("sslmode")
    ssl = QgsDataSourceUri.decodeSslMode(mode) if mode else QgsDataSourceUri.SslPrefer
    # No password: libpq finds it in PostgreSQL's password file or service
    # file, where Marbrook leaves it.
    uri.setConnection(connection.get("host", ""), connection.get("port", ""), connection.get("dbname", ""),
                      connection.get("user", ""), "", ssl)
    uri.setDataSource(source.get("schema", ""), source.get("table", ""), source.get("column"))
    return uri.uri(False)


def make_layers(entry):
    """The QGIS layers of one Marbrook layer, not yet in a project.

    Raises Failure when the entry names no source QGIS can read.
    """
    name = entry.get("name") or "?"
    source = entry.get("datasource")
    if not source:
        raise Failure("{}: Marbrook gave no data source ({})".format(name, entry.get("datasource_error", "unknown")))
    driver = source.get("driver", "")
    path = source.get("path", "")
    kind = entry.get("kind")
    made = []
    if driver == "PostgreSQL":
        made.append(QgsVectorLayer(_postgres_uri(source), name, "postgres"))
    elif driver == "PostGISRaster":
        made.append(QgsRasterLayer(_postgres_uri(source), name, "postgresraster"))
    elif kind == "raster":
        # One grid of a file of several is opened by GDAL's own name of it.
        made.append(QgsRasterLayer(source.get("subdataset") or path, name, "gdal"))
    elif kind == "cad":
        # The whole drawing: every layer of it as QGIS reads it.
        made.append(QgsVectorLayer(path, name, "ogr"))
    else:
        layers = source.get("layers") or [None]
        filter_ = source.get("filter", "")
        geometry_type = _GEOMETRY_TYPES.get(entry.get("geometry")) if filter_ else None
        for layer in layers:
            title = name if len(layers) == 1 else "{} ({})".format(name, layer)
            made.append(QgsVectorLayer(_ogr_uri(path, layer, filter_, geometry_type), title, "ogr"))
    for layer in made:
        if not layer.isValid():
            provider = layer.dataProvider()
            error = provider.error().summary() if provider is not None and not provider.error().isEmpty() else ""
            raise Failure("{}: QGIS cannot open {}{}".format(name, path or source.get("table", "the table"),
                                                            ": " + error if error else ""))
    return made


def add_layers(entries, project=None):
    """Adds the layers of ``entries`` to ``project`` in the order received.

    Marbrook orders layers as a map draws them from the top (annotation,
    points, lines, polygons and drawings, rasters): the first received goes
    on top of the project's layers, each next one below it, so that rasters
    never hide the rest. Returns (added QGIS layers, failures as lines for
    the user).
    """
    project = project or QgsProject.instance()
    root = project.layerTreeRoot()
    added = []
    failures = []
    for entry in entries:
        try:
            layers = make_layers(entry)
        except Failure as e:
            failures.append(str(e))
            continue
        for layer in layers:
            project.addMapLayer(layer, False)
            root.insertLayer(len(added), layer)
            added.append(layer)
    return added, failures
