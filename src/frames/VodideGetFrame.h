// A decoder's frame as a GPU frame on a context's device.
#pragma once
#include "VodideDX9Context.h"

// The frame that request describes, uploaded and wrapped with the source's properties.
HRESULT GetDirectXFrame(const DX9Context* context, IVideoDecoder* decoder, IValueSet* request, REFIID iid,
                        void** ppFrame);

// The frame of the given format and timecode (and size, when given), optionally one field of it;
// the returned frame carries the requested timecode.
HRESULT GetDirectXFrame(const DX9Context* context, REFIID iid, void** ppFrame, IVideoDecoder* decoder,
                        const VarnicaTimecode* timecode, const VarnicaFrameSize* frameSize, const GUID* format,
                        const FieldSelect* field);
