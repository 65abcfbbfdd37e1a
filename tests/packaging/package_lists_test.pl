#!/usr/bin/env perl
# The Makefile's package lists against the package index of every release the
# README names: each package must be there (a name that is gone stops both README
# commands at once), and so must the clang runtime test-deps works out from the
# release's own clang. Indexes come from the mirror and are kept in CACHE_DIR;
# a release whose index cannot be fetched is skipped, with the reason.
#   package_lists_test.pl SOURCE_DIR CACHE_DIR
use strict;
use warnings;
use HTTP::Tiny;
use IO::Uncompress::Gunzip qw(gunzip $GunzipError);

my ($source, $cache) = @ARGV;
die "usage: $0 SOURCE_DIR CACHE_DIR\n" unless defined $cache;
my @releases = qw(bookworm trixie);
my $mirror = $ENV{MIRROR} // 'http://deb.debian.org/debian';
chomp(my $arch = `dpkg --print-architecture`);
mkdir $cache;

my @wanted = split ' ', `make -s -C '$source' packages`;
die "make packages failed or printed nothing\n" if $? != 0 || @wanted < 2;

# Package name => its Depends line, for one release.
sub index_of {
    my ($release) = @_;
    my $file = "$cache/$release-$arch-Packages";
    if (!-s $file || -M $file > 1) {
        my $url = "$mirror/dists/$release/main/binary-$arch/Packages.gz";
        my $got = HTTP::Tiny->new(timeout => 30)->mirror($url, "$file.gz");
        return (undef, "$url: $got->{status} $got->{reason}") unless $got->{success};
        gunzip("$file.gz" => "$file.new") or return (undef, "$file.gz: $GunzipError");
        rename "$file.new", $file or die "$file: $!\n";
    }
    my (%depends, $name);
    open my $in, '<', $file or die "$file: $!\n";
    while (<$in>) {
        if (/^Package: (\S+)/) { $name = $1; $depends{$name} //= ''; }
        elsif (/^Depends: (.*)/ && defined $name) { $depends{$name} = $1; }
    }
    return (\%depends, undef);
}

my ($checked, @faults) = (0);
for my $release (@releases) {
    my ($index, $why) = index_of($release);
    if (!$index) { print "SKIP $release: $why\n"; next; }
    $checked++;
    my @missing = grep { !exists $index->{$_} } @wanted;
    push @faults, "$release has no package $_" for @missing;
    my ($version) = ($index->{clang} // '') =~ /\bclang-(\d+)\b/;
    if (!$version) { push @faults, "$release: no clang-N among clang's dependencies"; }
    elsif (!exists $index->{"libclang-rt-$version-dev"}) {
        push @faults, "$release has no libclang-rt-$version-dev for its clang $version";
    }
    printf "%s: %d packages, clang %s\n", $release, scalar @wanted, $version // '?';
}
print "FAIL: $_\n" for @faults;
exit 1 if @faults;
exit($checked ? 0 : 77);
