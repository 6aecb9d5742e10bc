// Every data type the listings produce has its picture in the data list.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "catalogue/basOpenDialogs.h"
#include "platform/qt/FormView.h"
#include "platform/qt/QtIcons.h"
#include "platform/qt/QtUi.h"

namespace marbrook {
namespace {

TEST(DataTypeIcons, EveryCodeHasAPictureAndTheNewOnesDifferFromTheOld) {
    qt::EnsureApplication();
    const int codes[] = {dtFolder, dtDatabaseRoot, dtSdeConnection, dtNewSdeConnection, dtPersonalGdb,
                         dtPointFeatureClass, dtLineFeatureClass, dtPolygonFeatureClass, dtRasterFile,
                         dtPgdbOtherFeatureClass, dtCadFile, dtOtherFeatureClass, dtSdePointFeatureClass,
                         dtSdeLineFeatureClass, dtSdePolygonFeatureClass, dtAnnotationFeatureClass, dtFeatureDataset,
                         dtRasterDataset, dtRasterCatalog, dtSdeTable, dtFileGeodatabase, dtGeoPackage, dtSpatiaLite,
                         dtVectorFile, dtMultiRasterFile};
    std::vector<QImage> images;
    for (const int code : codes) {
        SCOPED_TRACE(code);
        const QIcon icon = qt::DataTypeIcon(code);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(16, 16).toImage();
        ASSERT_FALSE(image.isNull());
        // Not blank: something is drawn.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn);
        images.push_back(image);
    }
    // A store is told from the others at a glance: no two pictures alike.
    for (std::size_t i = 0; i < images.size(); ++i)
        for (std::size_t j = i + 1; j < images.size(); ++j) EXPECT_NE(images[i], images[j]) << codes[i] << " " << codes[j];
    EXPECT_TRUE(qt::DataTypeIcon(kDataTypeImageCount + 1).isNull());

    // The data list shows each of them beside its item.
    std::vector<ui::ListView::Item> items;
    for (const int code : codes) {
        ui::ListView::Item item;
        item.text = "item";
        item.icon = item.smallIcon = code;
        items.push_back(item);
    }
    qt::ListModel model;
    model.Reset(items, {}, false);
    for (int row = 0; row < model.rowCount(); ++row)
        EXPECT_FALSE(model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull()) << codes[row];
}

} // namespace
} // namespace marbrook
