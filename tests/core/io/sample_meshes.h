#pragma once
// Small valid files of every format the loader reads, written the way real tools write them.

#include <string>

namespace ardentis_io_test {

// Four coloured vertices, one triangle (0 1 2) and one quadrilateral (0 1 3 2).
std::string AsciiPly();
// The same mesh as binary_little_endian (float x y z, uchar red green blue; uchar/int lists).
std::string BinaryPly();
// Same as BinaryPly in big-endian byte order.
std::string BigEndianPly();

std::string ObjMesh();    // 4 vertices, 2 triangles
std::string LegacyVtk();  // ASCII POLYDATA: 4 points, 2 triangles
std::string OffMesh();    // 4 vertices, a triangle and a quadrilateral
std::string VertFile();   // 4 vertices
std::string TriFile();    // 2 triangles, 1-based
// Organised 3 x 2 cloud with colour and one nan entry.
std::string OrganisedPcd();

}  // namespace ardentis_io_test
