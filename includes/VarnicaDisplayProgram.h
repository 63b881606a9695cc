// The display program's choices for hosts: how a picture was taken (camera type), how two eye
// pictures share a frame (frame packing) and how the window shows stereo (display type). Each is
// a GUID stored in the drawing surface's value set (IMediaDirectXGraphics.h names the keys); a
// GUID not listed here, the all-zero one included, means the plain value of its choice.
//
// Set the view size (GraphicsViewSizeProperty) and the view matrix before selecting the program
// with SetShader(DisplayShaderProgramId), then draw one quad over the window area whose texture
// coordinates run from (0, 0) at the top left to (1, 1) at the bottom right.
#pragma once
#include "VarnicaCore.h"

// Camera type: a flat picture (zero GUID) or a full sphere in equirectangular projection whose
// longitude and latitude spans are GraphicsAngularRangeProperty (2 pi by pi by default).
VARNICA_GUID(CameraType_Std, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
VARNICA_GUID(CameraType_Spherical, 0xE77B4E6E, 0xC707, 0x4420, 0xBE, 0x82, 0xD1, 0xF3, 0x80, 0x2E, 0x43, 0x51);

// Frame packing: one picture (zero GUID), the left eye in the left half and the right eye in the
// right half, or the left eye in the top half and the right eye in the bottom half.
VARNICA_GUID(FramePacking_Std, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
VARNICA_GUID(FramePacking_LR, 0x7143E54E, 0x59F5, 0x4E81, 0xBB, 0x35, 0xB8, 0xBB, 0x3C, 0x18, 0x67, 0x2B);
VARNICA_GUID(FramePacking_TB, 0x2626E0C2, 0x2039, 0x4845, 0x93, 0x10, 0x7D, 0xFA, 0x07, 0x90, 0x42, 0x48);

// Display type: the picture unchanged (zero GUID), red-cyan anaglyph (red from the left eye,
// green and blue from the right), the average of both eyes with sharpened contrast, or one eye.
VARNICA_GUID(DisplayType_Std, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
VARNICA_GUID(DisplayType_AnaglyphRC, 0xF0749269, 0xED58, 0x4A6F, 0xBE, 0x46, 0x36, 0x6F, 0x0D, 0xA4, 0x1D, 0x1A);
VARNICA_GUID(DisplayType_AnaglyphContrast, 0xB503B2B5, 0x7592, 0x4B67, 0x94, 0xFE, 0x7D, 0xF4, 0x4A, 0xAE, 0x3D, 0xBF);
VARNICA_GUID(DisplayType_LeftEye, 0x17A72C04, 0xAADE, 0x49DE, 0x82, 0x32, 0x43, 0xC4, 0x1D, 0x86, 0x16, 0x6F);
VARNICA_GUID(DisplayType_RightEye, 0x19CE68AD, 0xA702, 0x4C3E, 0xB1, 0xC7, 0xB3, 0x59, 0x97, 0x9B, 0xC6, 0xEE);

// Display types of this module beyond the classic five: least-squares anaglyphs, each eye's colour
// through a 3x3 matrix chosen for the filter colours of the glasses (left / right lens), which
// keeps more of the picture's colours and less ghosting than the plain channel split. They work
// for flat packed stereo and spherical pictures like DisplayType_AnaglyphRC.
VARNICA_GUID(DisplayType_DuboisRedCyan, 0x60502D76, 0x68AC, 0x468A, 0xB3, 0xCD, 0xA3, 0xFF, 0x22, 0xC2, 0x56, 0xD2);
VARNICA_GUID(DisplayType_DuboisGreenMagenta, 0x04EBC7FA, 0xAA6F, 0x422C, 0x98, 0x7C, 0xEA, 0x50, 0x9D, 0x29, 0x43,
             0xD5);
VARNICA_GUID(DisplayType_DuboisAmberBlue, 0xC7B1601B, 0x67B4, 0x4E35, 0x96, 0x8F, 0x0D, 0x7D, 0x68, 0xD2, 0x4D, 0x7D);
