// Format negotiation on the capture pin: the data-intersection handler, which
// proposes a format from a client's range, and set-data-format, which accepts
// or refuses the pin's connection format. Only the output formats
// (capture/output_format.h) in the VideoInfo layout at the current output
// size are accepted, each against its own range.
#pragma once

#include "platform/kernel.h"

class CapturePin;

// The pin descriptor's intersect handler.
NTSTATUS NTAPI IntersectCaptureFormat(PVOID context, PIRP request, PKSP_PIN pinId,
                                      PKSDATARANGE range, PKSDATARANGE pinRange, ULONG bufferSize,
                                      PVOID buffer, PULONG formatSize);

// The pin dispatch's SetDataFormat: the connection format checked against
// the pin's range; stored in the CapturePin when it replaces an earlier one.
NTSTATUS NTAPI PinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat, PKSMULTIPLE_ITEM oldAttributes,
                                const KSDATARANGE* pinRange,
                                const KSATTRIBUTE_LIST* attributeRange);

// The byte size of a video-info header whose bitmap header declares biSize
// bytes: 0 when biSize is below the 40 bytes of a bitmap header or the sum
// does not fit in 32 bits.
ULONG VideoInfoHeaderSize(ULONG biSize);

// The checks of a connection format against the pin's range: STATUS_SUCCESS,
// STATUS_NO_MATCH or STATUS_INVALID_PARAMETER.
NTSTATUS CheckCaptureFormat(const KSDATAFORMAT* format, const KSDATARANGE* pinRange);

// Keeps a checked connection format in the CapturePin: its video-info
// header, cut to the one the pin holds, and the stride of its rows.
void KeepConnectionFormat(CapturePin* pin, const KSDATAFORMAT* format);
