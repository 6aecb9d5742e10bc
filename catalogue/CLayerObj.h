#pragma once
// One data item the user chose in the browser.
#include <cstdint>
#include <string>

#include "platform/gis.h"
#include "platform/object.h"

namespace marbrook {

// Layer-kind codes of CLayerObj::DataType.
enum LayerType : std::int16_t {
    ltFeatureDataset = 4,
    ltFeatureClass = 5,
    ltAnnotationClass = 11,
    ltRaster = 12,
    ltCadDrawing = 15,
    ltRasterCatalog = 16,
    ltSdeConnection = 20,
};

class CLayerObj : public Object {
public:
    [[nodiscard]] const gis::DatasetNamePtr& pDataSetObj() const noexcept { return pDataSetObj_; }
    void pDataSetObj(gis::DatasetNamePtr vData) noexcept { pDataSetObj_ = std::move(vData); }
    [[nodiscard]] const std::string& DataTypeDesc() const noexcept { return dataTypeDesc_; }
    void DataTypeDesc(std::string vData) noexcept { dataTypeDesc_ = std::move(vData); }
    [[nodiscard]] const std::string& DataFullName() const noexcept { return dataFullName_; }
    void DataFullName(std::string vData) noexcept { dataFullName_ = std::move(vData); }
    [[nodiscard]] const std::string& DataName() const noexcept { return dataName_; }
    void DataName(std::string vData) noexcept { dataName_ = std::move(vData); }
    [[nodiscard]] std::int16_t DataType() const noexcept { return dataType_; }
    void DataType(std::int16_t vData) noexcept { dataType_ = vData; }
    [[nodiscard]] std::int16_t DataLocation() const noexcept { return dataLocation_; }
    void DataLocation(std::int16_t vData) noexcept { dataLocation_ = vData; }

private:
    gis::DatasetNamePtr pDataSetObj_;
    std::string dataFullName_;
    std::string dataName_;
    std::string dataTypeDesc_;
    std::int16_t dataType_ = 0;
    std::int16_t dataLocation_ = 0;
};

} // namespace marbrook
