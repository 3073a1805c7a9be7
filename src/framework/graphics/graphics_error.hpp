// The errors of the graphics formats: a bitmap, icon or region block that cannot be read
// (or an image that cannot be written). The message says what is wrong and where.
#pragma once

#include "framework/exceptions.hpp"

namespace fw {

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

class EInvalidBitmap : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class EInvalidIcon : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class EInvalidRegion : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

} // namespace fw
