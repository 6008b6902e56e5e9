// SPDX-License-Identifier: GPL-3.0-or-later
// The request-to-edit mapping of the remote API: a JSON object of parameter paths and values
// becomes a list of checked edits, or one error naming the path and its range. Nothing here
// touches the model until every value has been checked.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DeviceParameters.h"
#include "ParameterPaths.h"

namespace quorvell {

struct RemoteEdit {
    ParameterPath path;
    std::int32_t raw = 0;  // the field's new raw value; unused for the name
    std::string name;      // the name's bytes (at most kDeviceNameMax)
};

struct EditError {
    std::string error;          // one line for the client
    std::string path;           // the offending path; empty for a malformed body
    std::optional<double> min;  // the path's range, in the request's units
    std::optional<double> max;
};

struct EditRequest {
    std::vector<RemoteEdit> edits;
    std::optional<EditError> error;
};

// Parses `{"ch1.band3.gain": -6.5, "main.level": -10, "ch1.hipass.type": "bessel2"}`.
// Values are numbers in display units (raw integers when `raw`) or the texts the CLI takes
// ("normal", "butterworth2", "-6.5"); the name takes a text. A body that is not one JSON
// object, an empty object, an unknown path, a value of the wrong type or out of range gives
// an error and no edits.
EditRequest ParseEditRequest(const QByteArray& body, bool raw);

// Stores the edits in the model; returns the records they touch, each once, in request order.
std::vector<Record> ApplyEdits(DeviceParameters& params, const std::vector<RemoteEdit>& edits);

}  // namespace quorvell
