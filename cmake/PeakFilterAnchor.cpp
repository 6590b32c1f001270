// Compiled into programs that build peaks. The builder finds the peak filter
// only by class identifier, so nothing else refers to the filter's library:
// this reference keeps it linked, and loading it registers the filter.
extern "C" const int kx_peak_filter_anchor;
[[gnu::used]] static const int* const kxPeakFilterAnchorUse = &kx_peak_filter_anchor;
