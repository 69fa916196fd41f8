#pragma once

#include "core/course.h"
#include "core/coursecolours.h"

class QXmlStreamWriter;

// The race course as KML, for the KML file and Google Earth's link: a Folder "Course" with
// the start line chequered white and orange, the finish line white and black (each a white
// line under a MultiGeometry of coloured squares: KML has no dashed lines), each mark a dot in
// its side's colour (red: left to port, green: to starboard) labelled with its name, and each
// gate one placemark of its two yellow dots and a dashed line between them.
namespace tideplot {

// KML's aabbggrr colour of an 0xRRGGBB colour, opaque.
std::uint32_t KmlColourOfRgb(std::uint32_t rgb);

// Writes the Folder; nothing for a course of a finish line alone (the KML of such a race is
// what it always was).
void WriteKmlCourse(QXmlStreamWriter& xml, const Course& course);

} // namespace tideplot
