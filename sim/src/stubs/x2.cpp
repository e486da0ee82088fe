// X2 entry points, not available in this build of the stand-in.
#include "stubs/stub.h"
#include "vyx/x2.h"

using Vyx::HandleAccess;

namespace Vyx {

X2 X2::Create(const Device& device) {
    return vyxsim::NotAvailable("X2::Create", {{"device", HandleAccess::Get(device)}}, X2());
}

void X2::Destroy(X2& camera) {
    vyxsim::NotAvailable("X2::Destroy", {{"camera", HandleAccess::Get(camera)}});
}

bool X2::Open() {
    return vyxsim::NotAvailable("X2::Open", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::IsOpen() const {
    return vyxsim::NotAvailable("X2::IsOpen", {{"camera", HandleAccess::Get(*this)}}, false);
}

void X2::Close() {
    vyxsim::NotAvailable("X2::Close", {{"camera", HandleAccess::Get(*this)}});
}

bool X2::IsValid() const {
    return vyxsim::NotAvailable("X2::IsValid", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::IsPhysicallyConnected() const {
    return vyxsim::NotAvailable("X2::IsPhysicallyConnected", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::Capture(const CaptureOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::Capture", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::Capture() {
    return vyxsim::NotAvailable("X2::Capture", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::StartFixedLineScan(const CaptureOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::StartFixedLineScan", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::StartFixedLineScan() {
    return vyxsim::NotAvailable("X2::StartFixedLineScan", {{"camera", HandleAccess::Get(*this)}}, false);
}

PointMap X2::GetFixedLineScanPointMap() {
    return vyxsim::NotAvailable("X2::GetFixedLineScanPointMap", {{"camera", HandleAccess::Get(*this)}}, PointMap());
}

bool X2::GetFixedLineScanPointMap(PointMap& /*map*/) {
    return vyxsim::NotAvailable("X2::GetFixedLineScanPointMap", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::StopFixedLineScan() {
    return vyxsim::NotAvailable("X2::StopFixedLineScan", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::Capture2D(CameraID camera, const CaptureOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::Capture2D", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, false);
}

bool X2::Capture2D(CameraID camera) {
    return vyxsim::NotAvailable("X2::Capture2D", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, false);
}

bool X2::SetBandwidth(float bandwidth) {
    return vyxsim::NotAvailable("X2::SetBandwidth", {{"camera", HandleAccess::Get(*this)}, {"bandwidth", static_cast<double>(bandwidth)}}, false);
}

bool X2::SetCustomTransformation(const CustomTransformOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::SetCustomTransformation", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetCustomTransformation(CustomTransformOptions& /*options*/) const {
    return vyxsim::NotAvailable("X2::GetCustomTransformation", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetCameraResolution(Size& /*size*/) const {
    return vyxsim::NotAvailable("X2::GetCameraResolution", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetTimestamp(uint64_t& /*timestamp*/) const {
    return vyxsim::NotAvailable("X2::GetTimestamp", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::ResetTimestamp() {
    return vyxsim::NotAvailable("X2::ResetTimestamp", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetProjectorTemperature(float& /*celsius*/) const {
    return vyxsim::NotAvailable("X2::GetProjectorTemperature", {{"camera", HandleAccess::Get(*this)}}, false);
}

Image X2::GetImage(CameraID camera) {
    return vyxsim::NotAvailable("X2::GetImage", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, Image());
}

PointMap X2::GetPointMap() {
    return vyxsim::NotAvailable("X2::GetPointMap", {{"camera", HandleAccess::Get(*this)}}, PointMap());
}

Mesh X2::GetMesh() {
    return vyxsim::NotAvailable("X2::GetMesh", {{"camera", HandleAccess::Get(*this)}}, Mesh());
}

ConfidenceMap X2::GetConfidenceMap() {
    return vyxsim::NotAvailable("X2::GetConfidenceMap", {{"camera", HandleAccess::Get(*this)}}, ConfidenceMap());
}

CorrespondMap X2::GetCorrespondMap() {
    return vyxsim::NotAvailable("X2::GetCorrespondMap", {{"camera", HandleAccess::Get(*this)}}, CorrespondMap());
}

bool X2::SaveEncodedImagesData(const char* path) {
    return vyxsim::NotAvailable("X2::SaveEncodedImagesData", {{"camera", HandleAccess::Get(*this)}, {"path", path}}, false);
}

DepthMap X2::GetDepthMap() {
    return vyxsim::NotAvailable("X2::GetDepthMap", {{"camera", HandleAccess::Get(*this)}}, DepthMap());
}

bool X2::AutoWhiteBalance(int frames, const CaptureOptions& /*options*/, const ROI& /*roi*/) {
    return vyxsim::NotAvailable("X2::AutoWhiteBalance", {{"camera", HandleAccess::Get(*this)}, {"frames", static_cast<int>(frames)}}, false);
}

bool X2::GetExtrinsicMatrix(CameraID camera, float* /*matrix16*/) const {
    return vyxsim::NotAvailable("X2::GetExtrinsicMatrix", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, false);
}

bool X2::GetIntrinsicParameters(CameraID camera, float* /*camera_matrix9*/, float* /*distortion5*/) const {
    return vyxsim::NotAvailable("X2::GetIntrinsicParameters", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, false);
}

bool X2::GetExposureTimeRange(int* /*min*/, int* /*max*/) const {
    return vyxsim::NotAvailable("X2::GetExposureTimeRange", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetGainRange(float* /*min*/, float* /*max*/) const {
    return vyxsim::NotAvailable("X2::GetGainRange", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetGammaRange(float* /*min*/, float* /*max*/) const {
    return vyxsim::NotAvailable("X2::GetGammaRange", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetCameraTemperature(CameraID camera, CameraTempSelector selector, float& /*celsius*/) const {
    return vyxsim::NotAvailable("X2::GetCameraTemperature", {{"camera", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}, {"selector", static_cast<int>(selector)}}, false);
}

bool X2::SaveCaptureOptionParameters(const CaptureOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::SaveCaptureOptionParameters", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::LoadCaptureOptionParameters(CaptureOptions& /*options*/) const {
    return vyxsim::NotAvailable("X2::LoadCaptureOptionParameters", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetAutoCaptureSetting(CaptureOptions& /*options*/, const ROI& /*roi*/) {
    return vyxsim::NotAvailable("X2::GetAutoCaptureSetting", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetAutoHdrCaptureSetting(CaptureOptions& /*options*/, const ROI& /*roi*/) {
    return vyxsim::NotAvailable("X2::GetAutoHdrCaptureSetting", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetAutoNoiseRemovalSetting(CaptureOptions& /*options*/) {
    return vyxsim::NotAvailable("X2::GetAutoNoiseRemovalSetting", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::LoadSettingFromFile(const char* path) {
    return vyxsim::NotAvailable("X2::LoadSettingFromFile", {{"camera", HandleAccess::Get(*this)}, {"path", path}}, false);
}

bool X2::SaveSettingToFile(const char* path) const {
    return vyxsim::NotAvailable("X2::SaveSettingToFile", {{"camera", HandleAccess::Get(*this)}, {"path", path}}, false);
}

bool X2::CheckRoi(ROI /*roi*/) const {
    return vyxsim::NotAvailable("X2::CheckRoi", {{"camera", HandleAccess::Get(*this)}}, false);
}

ROI X2::AutoAdjustRoi(ROI /*roi*/) const {
    return vyxsim::NotAvailable("X2::AutoAdjustRoi", {{"camera", HandleAccess::Get(*this)}}, ROI());
}

bool X2::GetRoiRange(ROIRange& /*range*/) const {
    return vyxsim::NotAvailable("X2::GetRoiRange", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::OpenProtectiveCover() {
    return vyxsim::NotAvailable("X2::OpenProtectiveCover", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::CloseProtectiveCover() {
    return vyxsim::NotAvailable("X2::CloseProtectiveCover", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::ResetProtectiveCover() {
    return vyxsim::NotAvailable("X2::ResetProtectiveCover", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::OpenProtectiveCoverAsync() {
    return vyxsim::NotAvailable("X2::OpenProtectiveCoverAsync", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::CloseProtectiveCoverAsync() {
    return vyxsim::NotAvailable("X2::CloseProtectiveCoverAsync", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetProtectiveCoverStatus(ProtectiveCoverStatus& /*status*/) const {
    return vyxsim::NotAvailable("X2::GetProtectiveCoverStatus", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::GetAuto2DExposureTime(CaptureOptions& /*options*/, const ROI& /*roi*/) {
    return vyxsim::NotAvailable("X2::GetAuto2DExposureTime", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::SetCurrentUserSet(const int& index) {
    return vyxsim::NotAvailable("X2::SetCurrentUserSet", {{"camera", HandleAccess::Get(*this)}, {"index", index}}, false);
}

bool X2::GetCurrentUserSet(int& /*index*/) const {
    return vyxsim::NotAvailable("X2::GetCurrentUserSet", {{"camera", HandleAccess::Get(*this)}}, false);
}

bool X2::SetUserSetName(const int& index, const char* name) {
    return vyxsim::NotAvailable("X2::SetUserSetName", {{"camera", HandleAccess::Get(*this)}, {"index", index}, {"name", name}}, false);
}

bool X2::GetUserSetName(const int& index, char* /*name*/) const {
    return vyxsim::NotAvailable("X2::GetUserSetName", {{"camera", HandleAccess::Get(*this)}, {"index", index}}, false);
}

}  // namespace Vyx
