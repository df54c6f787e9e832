// Connects the header rewrite of the mail store to the bucket list: which
// file and which bucket come from the last classifier menu.
#include "mailstore/classification_rewrite.h"
#include "classifier/bucket_list.h"
#include "mailstore/header_rewrite.h"

void RewriteClassificationHeader(int bucketIndex)
{
    if (BucketList.messagePath.empty())
        return;
    if (bucketIndex < 0 || bucketIndex >= BucketList.bucketCount || !BucketList.bucketNames)
        return;
    RewriteClassificationHeaderFile(BucketList.messagePath.c_str(),
                                    BucketList.bucketNames[bucketIndex]);
}
