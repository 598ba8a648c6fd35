// A picture file as the source of a preparation. The file is read once, with every check of
// the picture loader. A JPEG is decoded from those bytes at each reduction the preparation asks
// for, at 1/2, 1/4 or 1/8 of its size while it is decompressed (far faster than decoding it
// whole and scaling it down); any other picture is decoded whole once. A photo that says it was
// taken turned is shown upright.
#pragma once

#include "prepare/Preparation.h"

#include <QString>

#include <memory>

// The picture in PATH as a source, or null when it cannot be read (WHYNOT, when given, says
// why in English, as the picture loader says it).
std::shared_ptr<TPictureSource> OpenPictureForPreparation(const QString& path, QString* whyNot = nullptr);
