// The conversion library arrives with its own issue.
