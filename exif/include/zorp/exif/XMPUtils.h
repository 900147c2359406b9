#pragma once
// XMP metadata: the well-known namespaces, the in-memory packet tree (packet -> schemas -> properties
// -> sub-properties), reading a packet from RDF/XML and writing it back as XMP text.

#include "zorp/exif/XMPDates.h"
#include "zorp/exif/XMPModel.h"
#include "zorp/exif/XMPNamespaces.h"
#include "zorp/exif/XMPPacket.h"
