#include "engine/UnitDownloader.h"

TDownloader::~TDownloader() = default;
