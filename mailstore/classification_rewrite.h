// The rewrite of the "X-Text-Classification:" line of the message of the
// last classifier menu, after the user chose another bucket.
#pragma once

// Rewrites the file at BucketList.messagePath so that its first
// "X-Text-Classification:" line names bucketNames[bucketIndex]. Does
// nothing when the path is empty or the index is not one of the list. The
// file is either unchanged or completely rewritten.
void RewriteClassificationHeader(int bucketIndex);
